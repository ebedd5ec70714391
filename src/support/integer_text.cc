#include "support/integer_text.h"

#include <string>

#include "support/failure.h"

namespace quorbin {
namespace {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Length of the hexadecimal prefix at the start of `text`, or 0.
std::size_t HexPrefixLength(std::string_view text) {
  if (text.starts_with("0x") || text.starts_with("0X")) return 2;
  if (text.starts_with('$') || text.starts_with('x') || text.starts_with('X')) return 1;
  return 0;
}

std::optional<std::uint32_t> ParseHexDigits(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  std::uint32_t value = 0;
  int significant = 0;
  for (const char c : digits) {
    const int digit = HexDigitValue(c);
    if (digit < 0) return std::nullopt;
    if (significant > 0 || digit != 0) ++significant;
    if (significant > 8) return std::nullopt;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  return value;
}

std::optional<std::int32_t> ParseDecimalDigits(std::string_view digits, bool negative) {
  if (digits.empty()) return std::nullopt;
  const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
  std::int64_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
    if (value > limit) return std::nullopt;
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

}  // namespace

std::optional<std::int32_t> TryParseInteger(std::string_view text) {
  while (text.starts_with(' ')) text.remove_prefix(1);
  bool negative = false;
  if (text.starts_with('+') || text.starts_with('-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (const std::size_t prefix = HexPrefixLength(text); prefix > 0) {
    const auto value = ParseHexDigits(text.substr(prefix));
    if (!value) return std::nullopt;
    const std::uint32_t bits = negative ? 0u - *value : *value;
    return static_cast<std::int32_t>(bits);
  }
  return ParseDecimalDigits(text, negative);
}

std::int32_t ParseInteger(std::string_view text) {
  if (const auto value = TryParseInteger(text)) return *value;
  throw Failure("'" + std::string(text) + "' is not a valid integer value");
}

}  // namespace quorbin
