#include <windows.h>
// after windows.h
#include <bcrypt.h>

#include <stdexcept>

#include "platform/md5_digest.h"

namespace quorbin::platform {

std::array<std::uint8_t, 16> Md5Digest(std::string_view bytes) {
  std::array<std::uint8_t, 16> digest{};
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0))) {
    throw std::runtime_error("MD5 digest not available.");
  }
  BCRYPT_HASH_HANDLE hash = nullptr;
  bool done = BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
  // The data is handed over in pieces that a ULONG can count.
  for (std::string_view rest = bytes; done && !rest.empty();) {
    const auto piece = static_cast<ULONG>(rest.size() > 0x40000000 ? 0x40000000 : rest.size());
    done = BCRYPT_SUCCESS(
        BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(rest.data())), piece, 0));
    rest.remove_prefix(piece);
  }
  done = done && BCRYPT_SUCCESS(
                     BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
  if (hash) BCryptDestroyHash(hash);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  if (!done) throw std::runtime_error("MD5 digest not available.");
  return digest;
}

}  // namespace quorbin::platform
