#include "sync/percent_encoding.h"

#include "support/code_page.h"
#include "support/failure.h"

namespace quorbin {
namespace {

constexpr std::string_view kAlwaysEncoded = "*<>#%\"{}|\\^[]`";

constexpr bool KeptAsIs(char32_t c) {
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

// KeptAsIs for each ASCII character, worked out once.
struct AsciiKept {
  bool kept[0x80];
  constexpr AsciiKept() : kept{} {
    for (char32_t c = 0; c < 0x80; ++c) kept[c] = KeptAsIs(c);
  }
};
constexpr AsciiKept kAsciiKept;

}  // namespace

std::string PercentEncodeAsciiLines(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() + text.size() / 4 + 8);
  const char* at = text.data();
  const char* const end = at + text.size();
  while (at < end) {
    const char* run_end = at;  // characters kept as they are
    while (run_end < end && static_cast<unsigned char>(*run_end) < 0x80 &&
           kAsciiKept.kept[static_cast<unsigned char>(*run_end)]) {
      ++run_end;
    }
    out.append(at, static_cast<std::size_t>(run_end - at));
    if (run_end == end) break;
    const auto byte = static_cast<unsigned char>(*run_end);
    at = run_end + 1;
    if (byte == '\r' || byte == '\n') {
      out.append("%0D%0A", 6);
      if (byte == '\r' && at < end && *at == '\n') ++at;
    } else {
      const char encoded[3] = {'%', kHex[byte >> 4], kHex[byte & 0x0F]};
      out.append(encoded, 3);
    }
  }
  if (!text.empty() && text.back() != '\r' && text.back() != '\n') out.append("%0D%0A", 6);
  return out;
}

std::string PercentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  for (std::size_t pos = 0; pos < text.size();) {
    // An ASCII byte is a code point of its own: no decoding needed.
    if (const auto byte = static_cast<unsigned char>(text[pos]); byte < 0x80) {
      if (kAsciiKept.kept[byte]) {  // the run of kept characters, at once
        const std::size_t run_start = pos;
        while (++pos < text.size() && static_cast<unsigned char>(text[pos]) < 0x80 &&
               kAsciiKept.kept[static_cast<unsigned char>(text[pos])]) {
        }
        out.append(text.substr(run_start, pos - run_start));
      } else {
        ++pos;
        const char encoded[3] = {'%', kHex[byte >> 4], kHex[byte & 0x0F]};
        out.append(encoded, 3);
      }
      continue;
    }
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
