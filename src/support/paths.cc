#include "support/paths.h"

#include "platform/executable.h"

namespace quorbin {

std::filesystem::path ErrorFolder() {
  return platform::ExecutableDirectory() / "qb_errors";
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return std::string(utf8.begin(), utf8.end());
}

}  // namespace quorbin
