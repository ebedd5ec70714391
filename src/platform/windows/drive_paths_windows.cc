#include "platform/drive_paths.h"
#include "platform/windows/wide_text_windows.h"

namespace quorbin::platform {

// On the terminals the fixed paths are real: nothing is mapped.
std::filesystem::path ResolveDrivePath(std::string_view windows_path) {
  return std::filesystem::path(WideFromUtf8(windows_path));
}

}  // namespace quorbin::platform
