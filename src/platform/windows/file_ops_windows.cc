#include <windows.h>

#include "platform/file_ops.h"

namespace quorbin::platform {

// Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists.
bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) noexcept {
  return MoveFileExW(from.c_str(), to.c_str(), 0) != 0;
}

}  // namespace quorbin::platform
