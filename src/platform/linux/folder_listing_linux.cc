#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/folder_listing.h"
#include "platform/listing_order.h"
#include "platform/stamp_time.h"

namespace quorbin::platform {
namespace {

FileStamp StampOf(const struct stat& info) {
  return FileStamp{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                   static_cast<std::int64_t>(info.st_size),
                   StampNanoseconds(info.st_mtim.tv_sec, info.st_mtim.tv_nsec),
                   StampNanoseconds(info.st_ctim.tv_sec, info.st_ctim.tv_nsec)};
}

EntryType TypeOf(mode_t mode) {
  if (S_ISDIR(mode)) return EntryType::kFolder;
  if (S_ISREG(mode)) return EntryType::kFile;
  return EntryType::kOther;
}

// Every entry of the folder open as `descriptor`, or false when it cannot be read.
bool ReadEntries(int descriptor, std::vector<FolderEntry>& entries) {
  const int for_listing = dup(descriptor);
  if (for_listing < 0) return false;
  DIR* dir = fdopendir(for_listing);
  if (!dir) {
    close(for_listing);
    return false;
  }
  errno = 0;
  while (const dirent* raw = readdir(dir)) {
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
      if (fstatat(descriptor, name, &info, 0) == 0) entry.type = TypeOf(info.st_mode);
    }
    entries.push_back(std::move(entry));
    errno = 0;
  }
  const bool complete = errno == 0;
  closedir(dir);
  return complete;
}

}  // namespace

OpenFolder::OpenFolder(const std::filesystem::path& folder) {
  const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (descriptor < 0) return;
  struct stat own {};
  if (fstat(descriptor, &own) != 0 || !ReadEntries(descriptor, entries_)) {
    close(descriptor);
    entries_.clear();
    return;
  }
  handle_ = descriptor;
  stamp_ = StampOf(own);
  SortAsListed(entries_);
}

OpenFolder::~OpenFolder() {
  if (handle_ >= 0) close(handle_);
}

std::optional<FileStamp> OpenFolder::StampOfFile(std::string_view name) const {
  // A search stamps every file of the tree: the name is terminated on the stack.
  char terminated[NAME_MAX + 1];
  if (name.size() > NAME_MAX || name.find('\0') != std::string_view::npos) return std::nullopt;
  name.copy(terminated, name.size());
  terminated[name.size()] = '\0';
  struct stat info {};
  if (fstatat(handle_, terminated, &info, 0) != 0 || S_ISDIR(info.st_mode)) {
    return std::nullopt;
  }
  return StampOf(info);
}

bool OpenFolder::ReadFile(std::string_view name, FileContents& contents, std::string* error,
                          std::size_t max_bytes) const {
  const auto fail = [&](const char* why) {
    if (error) *error = why;
    contents.bytes.clear();
    return false;
  };
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  const std::string terminated(name);
  // Without waiting: opening a pipe for reading would wait for a writer.
  const int fd = openat(handle_, terminated.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return fail(std::strerror(errno));
  struct FdCloser {
    int fd;
    ~FdCloser() { close(fd); }
  } closer{fd};
  struct stat info {};
  if (fstat(fd, &info) != 0) return fail(std::strerror(errno));
  if (S_ISDIR(info.st_mode)) return fail(std::strerror(EISDIR));
  if (!S_ISREG(info.st_mode)) return fail("Not a regular file");
  if (static_cast<std::uint64_t>(info.st_size) > max_bytes) return fail(std::strerror(EFBIG));
  contents.stamp = StampOf(info);
  contents.opened_ns = StampNanoseconds(now.tv_sec, now.tv_nsec);
  // One byte more than the file holds, so that the end shows without growing.
  contents.bytes.resize(info.st_size > 0 ? static_cast<std::size_t>(info.st_size) + 1 : 4096);
  std::size_t filled = 0;
  while (true) {
    if (filled > max_bytes) return fail(std::strerror(EFBIG));  // it grew while read
    if (filled == contents.bytes.size()) contents.bytes.resize(filled * 2);
    const ssize_t got = read(fd, contents.bytes.data() + filled, contents.bytes.size() - filled);
    if (got < 0) {
      if (errno == EINTR) continue;
      return fail(std::strerror(errno));
    }
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  contents.bytes.resize(filled);
  return true;
}

std::optional<FileStamp> StampOfFile(const std::filesystem::path& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
  return StampOf(info);
}

}  // namespace quorbin::platform
