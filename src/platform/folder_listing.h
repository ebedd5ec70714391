// Folder enumeration and file identity for the folder search of invoice files.
//
// A listing holds every entry of one folder ("." and ".." excepted), hidden ones
// included, sorted by name with ASCII letters compared without regard to case and
// ties broken bytewise, the order in which NTFS lists a folder. A symbolic link
// is reported as what it leads to (a folder, a file, or other for a dangling
// link). Nothing here fails: a folder that
// cannot be enumerated gives no listing, a file that cannot be read gives no
// contents.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorbin::platform {

// What the file system says of one file at one moment. Two equal stamps of the
// same path mean the file was not changed in between: a write moves the
// modification time, any change of the file moves the change time.
struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modified_ns = 0;
  std::int64_t changed_ns = 0;

  bool operator==(const FileStamp&) const = default;
};

enum class EntryType { kFile, kFolder, kOther };

struct FolderEntry {
  std::string name;
  EntryType type = EntryType::kOther;
};

struct FolderListing {
  FileStamp folder;  // the listed folder itself, its links followed
  std::vector<FolderEntry> entries;
};

std::optional<FolderListing> ListFolder(const std::filesystem::path& folder);

// The stamp of the file at `path` (links followed); nothing when no file is
// there (a folder is not a file).
std::optional<FileStamp> StampOfFile(const std::filesystem::path& path);

// The whole contents of the file at `path` together with the stamp taken from the
// same open file before reading, so that a change made while reading shows as a
// different stamp next time. The memory of `contents` is reused. False when the
// file cannot be opened or read; `error` then tells why.
struct FileContents {
  std::string bytes;
  FileStamp stamp;
  std::int64_t opened_ns = 0;  // wall-clock time of opening, on the stamps' scale
};
bool ReadStampedFile(const std::filesystem::path& path, FileContents& contents, std::string* error);

}  // namespace quorbin::platform
