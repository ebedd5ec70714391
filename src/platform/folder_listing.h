// Folder enumeration and file identity for the folder search of invoice files.
//
// An OpenFolder lists every entry of one folder ("." and ".." excepted), hidden
// ones included, sorted by name with ASCII letters compared without regard to
// case and ties broken bytewise, the order in which NTFS lists a folder. A
// symbolic link is reported as what it leads to (a folder, a file, or other for
// a dangling link). The folder stays open, so that its files are reached by name
// without walking the whole path again. Nothing here fails: a folder that cannot
// be enumerated is not open, a file that cannot be read gives no contents.
#pragma once

#include <compare>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorbin::platform {

// What the file system says of one file at one moment. Two equal stamps of the
// same path mean the file was not changed in between: a write moves the
// modification time, any change of the file moves the change time. Times are
// nanoseconds since 1970, held at the ends of their range beyond the years 1677
// and 2262 (stamp_time.h).
struct FileStamp {
  // A file's number on its device: 64 bits on Linux and where Windows gives no
  // more, the 128 bits of Windows's file id where it does (ReFS numbers files
  // beyond 64 bits; its 64-bit file index is not unique).
  struct Id {
    std::uint64_t low = 0;
    std::uint64_t high = 0;

    constexpr Id() = default;
    constexpr Id(std::uint64_t low_bits, std::uint64_t high_bits = 0)
        : low(low_bits), high(high_bits) {}
    auto operator<=>(const Id&) const = default;
  };

  std::uint64_t device = 0;
  Id inode;
  std::int64_t size = 0;
  std::int64_t modified_ns = 0;
  std::int64_t changed_ns = 0;  // 0: the file system keeps no change time

  auto operator<=>(const FileStamp&) const = default;
};

enum class EntryType { kFile, kFolder, kOther };

struct FolderEntry {
  std::string name;
  EntryType type = EntryType::kOther;
};

// The contents of a file with the stamp taken from the same open file before
// reading, so that a change made while reading shows as a different stamp next
// time.
struct FileContents {
  std::string bytes;
  FileStamp stamp;
  std::int64_t opened_ns = 0;  // wall-clock time of opening, on the stamps' scale
};

class OpenFolder {
 public:
  explicit OpenFolder(const std::filesystem::path& folder);
  ~OpenFolder();
  OpenFolder(const OpenFolder&) = delete;
  OpenFolder& operator=(const OpenFolder&) = delete;

  bool is_open() const { return handle_ != -1; }
  const FileStamp& stamp() const { return stamp_; }  // the folder's own
  const std::vector<FolderEntry>& entries() const { return entries_; }

  // The stamp of the file `name` in this folder now (links followed); nothing
  // when no file is there (a folder is not a file).
  std::optional<FileStamp> StampOfFile(std::string_view name) const;
  // Reads the file `name` whole into `contents`, reusing its memory. False when
  // it cannot be opened or read, is not a regular file (a pipe or a device is
  // never read, nor waited for) or holds more than `max_bytes`; `error` then
  // tells why.
  bool ReadFile(std::string_view name, FileContents& contents, std::string* error,
                std::size_t max_bytes) const;

 private:
  // The open folder: a descriptor on Linux, a directory handle on Windows; -1
  // when the folder could not be listed.
  std::intptr_t handle_ = -1;
  // Windows opens files by their full path: the folder's own.
  std::filesystem::path path_;
  FileStamp stamp_;
  std::vector<FolderEntry> entries_;
};

// The stamp of the file at `path` (links followed); nothing when no file is
// there.
std::optional<FileStamp> StampOfFile(const std::filesystem::path& path);

}  // namespace quorbin::platform
