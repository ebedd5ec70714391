#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_ops.h"

namespace quorbin::platform {

bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) noexcept {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  // File systems without RENAME_NOREPLACE: a hard link fails when the target exists.
  if (link(from.c_str(), to.c_str()) != 0) return false;
  return unlink(from.c_str()) == 0;
}

bool IsWritableFolder(const std::filesystem::path& folder) noexcept {
  return access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace quorbin::platform
