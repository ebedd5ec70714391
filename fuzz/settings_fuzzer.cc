// The settings file as another program may leave it: any bytes, read as a profile
// and converted by the integer rules. Checks that a value read back converts the
// same way twice and that the profile lookup never returns more than its limit.
#include <unistd.h>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/integer_text.h"
#include "support/profile_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                            ("quorbin-fuzz-" + std::to_string(getpid()) + ".ini");
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;

  for (const char* key : {"DEBUG", "OFFLINE"}) {
    const std::string value = quorbin::ReadProfileString(file, "MAIN", key);
    if (value.size() > 2047 * 4) std::abort();
    if (quorbin::TryParseInteger(value) != quorbin::TryParseInteger(value)) std::abort();
  }
  // The conversion alone, on the raw bytes.
  const auto parsed = quorbin::TryParseInteger(bytes);
  if (parsed && std::to_string(*parsed).size() > bytes.size() + 11) std::abort();
  return 0;
}
