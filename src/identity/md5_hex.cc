#include "identity/md5_hex.h"

#include "platform/md5_digest.h"
#include "support/code_page.h"

namespace quorbin {

std::string Md5Hex(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t c = NextCodePoint(text, pos);
    bytes += c < 0x80 ? static_cast<char>(c) : '?';
  }
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (const std::uint8_t byte : platform::Md5Digest(bytes)) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 0x0F];
  }
  return hex;
}

}  // namespace quorbin
