#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/folder_listing.h"

namespace quorbin::platform {
namespace {

FileStamp StampOf(const struct stat& info) {
  return FileStamp{
      static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
      static_cast<std::int64_t>(info.st_size),
      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
      static_cast<std::int64_t>(info.st_ctim.tv_sec) * 1'000'000'000 + info.st_ctim.tv_nsec};
}

unsigned char FoldAscii(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte >= 'a' && byte <= 'z') ? static_cast<unsigned char>(byte - 'a' + 'A') : byte;
}

// Names compared with ASCII letters folded to upper case; equal names under that
// rule are ordered bytewise.
bool ListedBefore(const FolderEntry& a, const FolderEntry& b) {
  const std::size_t common = std::min(a.name.size(), b.name.size());
  for (std::size_t i = 0; i < common; ++i) {
    const unsigned char x = FoldAscii(a.name[i]);
    const unsigned char y = FoldAscii(b.name[i]);
    if (x != y) return x < y;
  }
  if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
  return a.name < b.name;
}

class Directory {
 public:
  explicit Directory(DIR* dir) : dir_(dir) {}
  ~Directory() {
    if (dir_) closedir(dir_);
  }
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;
  DIR* get() const { return dir_; }

 private:
  DIR* dir_;
};

}  // namespace

std::optional<FolderListing> ListFolder(const std::filesystem::path& folder) {
  Directory dir(opendir(folder.c_str()));
  if (!dir.get()) return std::nullopt;
  const int dir_fd = dirfd(dir.get());
  FolderListing listing;
  struct stat own {};
  if (fstat(dir_fd, &own) != 0) return std::nullopt;
  listing.folder = StampOf(own);
  auto& entries = listing.entries;
  errno = 0;
  while (const dirent* raw = readdir(dir.get())) {
    const char* name = raw->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    FolderEntry entry;
    entry.name = name;
    if (raw->d_type == DT_REG) {
      entry.type = EntryType::kFile;
    } else if (raw->d_type == DT_DIR) {
      entry.type = EntryType::kFolder;
    } else {
      // A link, or a file system that does not tell the type: ask for the target.
      struct stat info {};
      if (fstatat(dir_fd, name, &info, 0) == 0) {
        if (S_ISDIR(info.st_mode)) {
          entry.type = EntryType::kFolder;
        } else if (S_ISREG(info.st_mode)) {
          entry.type = EntryType::kFile;
        }
      }
    }
    entries.push_back(std::move(entry));
    errno = 0;
  }
  if (errno != 0) return std::nullopt;
  std::sort(entries.begin(), entries.end(), ListedBefore);
  return listing;
}

std::optional<FileStamp> StampOfFile(const std::filesystem::path& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
  return StampOf(info);
}

bool ReadStampedFile(const std::filesystem::path& path, FileContents& contents,
                     std::string* error) {
  const auto fail = [&] {
    if (error) *error = std::strerror(errno);
    contents.bytes.clear();
    return false;
  };
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail();
  struct FdCloser {
    int fd;
    ~FdCloser() { close(fd); }
  } closer{fd};
  struct stat info {};
  if (fstat(fd, &info) != 0) return fail();
  if (S_ISDIR(info.st_mode)) {
    errno = EISDIR;
    return fail();
  }
  contents.stamp = StampOf(info);
  contents.opened_ns = static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
  // One byte more than the file holds, so that the end shows without growing.
  contents.bytes.resize(info.st_size > 0 ? static_cast<std::size_t>(info.st_size) + 1 : 4096);
  std::size_t filled = 0;
  while (true) {
    if (filled == contents.bytes.size()) contents.bytes.resize(filled * 2);
    const ssize_t got = read(fd, contents.bytes.data() + filled, contents.bytes.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      return fail();
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  contents.bytes.resize(filled);
  return true;
}

}  // namespace quorbin::platform
