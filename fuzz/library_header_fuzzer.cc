// A library file as anyone may have copied it to a terminal: any bytes, read as
// PE or ELF headers before anything loads them. Checks that a file said whole
// stays whole when it is longer, that a damaged file always gives a reason not to
// load it, and that the width is 32 or 64 or unknown.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "store/library_header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const quorbin::LibraryHeader header = quorbin::ReadLibraryHeader(bytes, size);
  if (header.bits != 0 && header.bits != 32 && header.bits != 64) std::abort();
  if (header.format != quorbin::LibraryFormat::kUnknown && header.damage.empty()) {
    if (!quorbin::ReadLibraryHeader(bytes, size + 4096).damage.empty()) std::abort();
  }
  for (const int bits : {32, 64}) {
    for (const auto system : {quorbin::LibraryFormat::kPe, quorbin::LibraryFormat::kElf}) {
      const std::string reason = quorbin::LibraryMismatch(header, bits, system);
      if (!header.damage.empty() && reason.empty()) std::abort();
    }
  }
  return 0;
}
