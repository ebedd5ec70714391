// The MD5 digest (RFC 1321) from the system's cryptography: OpenSSL's libcrypto
// on Linux, the CNG provider on Windows. Throws std::runtime_error when the
// system offers none.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace quorbin::platform {

std::array<std::uint8_t, 16> Md5Digest(std::string_view bytes);

}  // namespace quorbin::platform
