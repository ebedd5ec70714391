#include "support/paths.h"

#include "platform/executable.h"

namespace quorbin {

std::filesystem::path ErrorFolder() {
  return platform::ExecutableDirectory() / "qb_errors";
}

std::string DigitsOnly(std::string_view text) {
  std::string digits;
  for (const char c : text) {
    if (c >= '0' && c <= '9') digits += c;
  }
  return digits;
}

}  // namespace quorbin
