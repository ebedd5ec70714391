#include "identity/md5_hex.h"

#include <openssl/evp.h>

#include "support/code_page.h"
#include "support/failure.h"

namespace quorbin {

std::string Md5Hex(std::string_view text) {
  std::string bytes;
  bytes.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const char32_t c = NextCodePoint(text, pos);
    bytes += c < 0x80 ? static_cast<char>(c) : '?';
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1) {
    throw Failure("MD5 digest not available.");
  }
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kDigits[digest[i] >> 4];
    hex += kDigits[digest[i] & 0x0F];
  }
  return hex;
}

}  // namespace quorbin
