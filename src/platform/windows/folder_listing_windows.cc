#include <windows.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/folder_listing.h"
#include "platform/listing_order.h"
#include "platform/stamp_time.h"
#include "platform/windows/system_error_windows.h"
#include "platform/windows/wide_text_windows.h"

namespace quorbin::platform {
namespace {

// File times count 100 ns from 1601; the stamps count nanoseconds from 1970
// (stamp_time.h).
std::uint64_t Ticks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

 private:
  HANDLE handle_;
};

// Opens a file or folder, following links, without keeping anyone from reading,
// writing, renaming or deleting it meanwhile.
HANDLE OpenPath(const std::filesystem::path& path, DWORD access) {
  return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

struct OpenInfo {
  FileStamp stamp;
  bool is_folder = false;
};

// FILE_ID_INFO and its class, which the headers declare only for Windows 8 and
// later: the system gives them from Windows 8 (Server 2012) on.
struct FileIdInfo {
  ULONGLONG volume_serial;
  BYTE file_id[16];
};
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);

// The volume and the file's number on it: the 128-bit file id where the system
// gives it (ReFS numbers files beyond the 64 bits of the file index, which is not
// unique there), else the volume serial and the 64-bit file index. One volume
// always answers the same way, so a file's key never changes.
void IdentifyFile(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& identity, FileStamp& stamp) {
  FileIdInfo id{};
  if (GetFileInformationByHandleEx(handle, kFileIdInfo, &id, sizeof id)) {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    std::memcpy(&low, id.file_id, sizeof low);
    std::memcpy(&high, id.file_id + sizeof low, sizeof high);
    stamp.device = id.volume_serial;
    stamp.inode = FileStamp::Id(low, high);
    return;
  }
  stamp.device = identity.dwVolumeSerialNumber;
  stamp.inode = FileStamp::Id((static_cast<std::uint64_t>(identity.nFileIndexHigh) << 32) |
                              identity.nFileIndexLow);
}

// The stamp of an open file: its volume and file id identify it, the change
// time moves with any change of its contents or attributes. FAT and exFAT keep no
// change time (ChangeTime 0): the stamp then has none (changed_ns 0), and a copy
// that kept the times and the size could not be told from the file it replaced.
std::optional<OpenInfo> InfoOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION identity{};
  if (!GetFileInformationByHandle(handle, &identity)) return std::nullopt;
  FILE_BASIC_INFO basic{};
  std::int64_t changed_ns = 0;
  if (GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) &&
      basic.ChangeTime.QuadPart != 0) {
    changed_ns = StampNanosecondsOfTicks(static_cast<std::uint64_t>(basic.ChangeTime.QuadPart));
  }
  OpenInfo info;
  IdentifyFile(handle, identity, info.stamp);
  info.stamp.size = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(identity.nFileSizeHigh) << 32) | identity.nFileSizeLow);
  info.stamp.modified_ns = StampNanosecondsOfTicks(Ticks(identity.ftLastWriteTime));
  info.stamp.changed_ns = changed_ns;
  info.is_folder = (identity.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  return info;
}

std::optional<OpenInfo> InfoOfPath(const std::filesystem::path& path) {
  const Handle handle(OpenPath(path, FILE_READ_ATTRIBUTES));
  if (!handle.valid()) return std::nullopt;
  return InfoOf(handle.get());
}

std::optional<FileStamp> FileStampOf(const std::filesystem::path& path) {
  const auto info = InfoOfPath(path);
  if (!info || info->is_folder) return std::nullopt;
  return info->stamp;
}

// A link (symbolic link or junction) is what it leads to; a dangling one is
// neither file nor folder.
EntryType TypeOf(const WIN32_FIND_DATAW& found, const std::filesystem::path& folder) {
  if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    const auto target = InfoOfPath(folder / found.cFileName);
    if (!target) return EntryType::kOther;
    return target->is_folder ? EntryType::kFolder : EntryType::kFile;
  }
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return EntryType::kFolder;
  if (found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) return EntryType::kOther;
  return EntryType::kFile;
}

// Every entry of the folder, hidden and system ones included; false when the
// folder cannot be read to its end.
bool ReadEntries(const std::filesystem::path& folder, std::vector<FolderEntry>& entries) {
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileExW((folder / L"*").c_str(), FindExInfoBasic, &found,
                                         FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    entries.push_back(FolderEntry{Utf8FromWide(name), TypeOf(found, folder)});
  } while (FindNextFileW(search, &found));
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  return complete;
}

std::int64_t NowNanoseconds() {
  FILETIME now{};
  GetSystemTimeAsFileTime(&now);
  return StampNanosecondsOfTicks(Ticks(now));
}

}  // namespace

OpenFolder::OpenFolder(const std::filesystem::path& folder) {
  Handle handle(OpenPath(folder, FILE_READ_ATTRIBUTES));
  if (!handle.valid()) return;
  const auto own = InfoOf(handle.get());
  if (!own || !own->is_folder || !ReadEntries(folder, entries_)) {
    entries_.clear();
    return;
  }
  handle_ = reinterpret_cast<std::intptr_t>(handle.release());
  path_ = folder;
  stamp_ = own->stamp;
  SortAsListed(entries_);
}

OpenFolder::~OpenFolder() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

std::optional<FileStamp> OpenFolder::StampOfFile(std::string_view name) const {
  return FileStampOf(path_ / WideFromUtf8(name));
}

bool OpenFolder::ReadFile(std::string_view name, FileContents& contents, std::string* error,
                          std::size_t max_bytes) const {
  const auto fail = [&](DWORD number) {
    if (error) *error = SystemErrorText(number);
    contents.bytes.clear();
    return false;
  };
  const std::int64_t now = NowNanoseconds();
  const Handle file(CreateFileW((path_ / WideFromUtf8(name)).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) return fail(GetLastError());
  const auto info = InfoOf(file.get());
  if (!info) return fail(GetLastError());
  if (info->is_folder) return fail(ERROR_DIRECTORY);
  // Only disk files are read: a device name (nul.xml, con.xml) is never waited for.
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return fail(ERROR_BAD_FILE_TYPE);
  if (info->stamp.size < 0 || static_cast<std::uint64_t>(info->stamp.size) > max_bytes) {
    return fail(ERROR_FILE_TOO_LARGE);
  }
  contents.stamp = info->stamp;
  contents.opened_ns = now;
  // One byte more than the file holds, so that the end shows without growing.
  contents.bytes.resize(info->stamp.size > 0 ? static_cast<std::size_t>(info->stamp.size) + 1
                                             : 4096);
  std::size_t filled = 0;
  while (true) {
    if (filled == contents.bytes.size()) contents.bytes.resize(filled * 2);
    const std::size_t room = contents.bytes.size() - filled;
    DWORD got = 0;
    if (!::ReadFile(file.get(), contents.bytes.data() + filled,
                    room > 0x40000000 ? 0x40000000 : static_cast<DWORD>(room), &got, nullptr)) {
      return fail(GetLastError());
    }
    if (got == 0) break;
    filled += got;
    if (filled > max_bytes) return fail(ERROR_FILE_TOO_LARGE);
  }
  contents.bytes.resize(filled);
  return true;
}

std::optional<FileStamp> StampOfFile(const std::filesystem::path& path) {
  return FileStampOf(path);
}

}  // namespace quorbin::platform
