#include <openssl/evp.h>

#include <stdexcept>

#include "platform/md5_digest.h"

namespace quorbin::platform {

std::array<std::uint8_t, 16> Md5Digest(std::string_view bytes) {
  std::array<std::uint8_t, 16> digest{};
  unsigned int length = 0;
  if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_md5(), nullptr) != 1 ||
      length != digest.size()) {
    throw std::runtime_error("MD5 digest not available.");
  }
  return digest;
}

}  // namespace quorbin::platform
