#include <windows.h>

#include "platform/file_ops.h"

namespace quorbin::platform {

// Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists.
bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) noexcept {
  return MoveFileExW(from.c_str(), to.c_str(), 0) != 0;
}

// Opening the folder itself for FILE_ADD_FILE makes the system check its access
// list for the current user; nothing is created.
bool IsWritableFolder(const std::filesystem::path& folder) noexcept {
  const HANDLE handle = CreateFileW(folder.c_str(), FILE_ADD_FILE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

}  // namespace quorbin::platform
