#include "sync/percent_encoding.h"

#include "support/code_page.h"
#include "support/failure.h"

namespace quorbin {
namespace {

constexpr std::string_view kAlwaysEncoded = "*<>#%\"{}|\\^[]`";

bool KeptAsIs(char32_t c) {
  return c >= 0x21 && c <= 0x7F &&
         kAlwaysEncoded.find(static_cast<char>(c)) == std::string_view::npos;
}

bool IsHighSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char32_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

void AppendEncoded(std::string& out, char32_t code_point) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string bytes;
  AppendUtf8(bytes, code_point);
  for (const char byte : bytes) {
    const auto value = static_cast<unsigned char>(byte);
    out += '%';
    out += kHex[value >> 4];
    out += kHex[value & 0x0F];
  }
}

}  // namespace

std::string PercentEncode(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (std::size_t pos = 0; pos < text.size();) {
    char32_t c = NextCodePoint(text, pos);
    if (KeptAsIs(c)) {
      out += static_cast<char>(c);
      continue;
    }
    if (IsHighSurrogate(c)) {
      std::size_t after = pos;
      const char32_t low = after < text.size() ? NextCodePoint(text, after) : 0;
      if (!IsLowSurrogate(low)) throw Failure("The text holds a lone surrogate.");
      c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
      pos = after;
    } else if (IsLowSurrogate(c)) {
      throw Failure("The text holds a lone surrogate.");
    }
    AppendEncoded(out, c);
  }
  return out;
}

}  // namespace quorbin
