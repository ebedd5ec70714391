#include <system_error>

#include "platform/executable.h"

namespace quorbin::platform {

std::filesystem::path ExecutablePath() {
  std::error_code error;
  auto path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path{} : path;
}

std::filesystem::path ExecutableDirectory() {
  return ExecutablePath().parent_path();
}

}  // namespace quorbin::platform
