#include "platform/executable.h"
#include "platform/windows/module_file_windows.h"

namespace quorbin::platform {

std::filesystem::path ExecutablePath() {
  return ModuleFilePath(nullptr);
}

std::filesystem::path ExecutableDirectory() {
  return ExecutablePath().parent_path();
}

}  // namespace quorbin::platform
