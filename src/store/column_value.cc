#include "store/column_value.h"

#include <charconv>
#include <cmath>
#include <limits>

#include "support/failure.h"
#include "support/integer_text.h"

namespace quorbin {
namespace {

using Kind = ColumnValue::Kind;

std::int64_t PowerOfTen(int exponent) {
  std::int64_t result = 1;
  for (int i = 0; i < exponent; ++i) result *= 10;
  return result;
}

std::int32_t CheckedInt32(long double value) {
  if (!(value >= std::numeric_limits<std::int32_t>::min() &&
        value <= std::numeric_limits<std::int32_t>::max())) {
    throw Failure("Column value is out of the integer range");
  }
  return static_cast<std::int32_t>(value);
}

// `integer` / 10^-scale, rounded to the nearest integer, ties to even.
std::int64_t RoundFixedPoint(std::int64_t integer, int scale) {
  if (scale >= 0) return integer * PowerOfTen(scale);
  if (scale < -18) return 0;
  const std::int64_t divisor = PowerOfTen(-scale);
  std::int64_t quotient = integer / divisor;
  const std::int64_t remainder = integer % divisor;
  // Compares |remainder| with half the divisor without overflow.
  const std::int64_t magnitude = remainder < 0 ? -remainder : remainder;
  const std::int64_t rest = divisor - magnitude;
  const bool away = magnitude > rest || (magnitude == rest && quotient % 2 != 0);
  if (away) quotient += integer < 0 ? -1 : 1;
  return quotient;
}

// The decimal text of a fixed-point number, with "," before the fraction and no
// trailing zeros in it.
std::string FixedPointText(std::int64_t integer, int scale) {
  if (scale >= 0) return std::to_string(integer * PowerOfTen(scale));
  const bool negative = integer < 0;
  const std::uint64_t magnitude =
      negative ? 0ULL - static_cast<std::uint64_t>(integer) : static_cast<std::uint64_t>(integer);
  std::string digits = std::to_string(magnitude);
  const std::size_t fraction_digits = static_cast<std::size_t>(-scale);
  if (digits.size() <= fraction_digits) digits.insert(0, fraction_digits - digits.size() + 1, '0');
  std::string whole = digits.substr(0, digits.size() - fraction_digits);
  std::string fraction = digits.substr(digits.size() - fraction_digits);
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  std::string text = negative ? "-" + whole : whole;
  if (!fraction.empty()) text += "," + fraction;
  return text;
}

std::string FloatText(double number) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::general, 15);
  std::string text(buffer, result.ptr);
  for (char& c : text) {
    if (c == '.') c = ',';
  }
  return text;
}

std::string TrimTrailingBlanks(const std::string& text) {
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : text.substr(0, end + 1);
}

bool IsText(Kind kind) {
  return kind == Kind::kFixedText || kind == Kind::kVariableText;
}

}  // namespace

std::int32_t ColumnValue::AsInteger() const {
  if (kind == Kind::kUnreadable) throw Failure(text);
  if (IsText(kind)) return ParseInteger(AsString());
  if (IsNull()) return 0;
  switch (kind) {
    case Kind::kInteger:
      return CheckedInt32(static_cast<long double>(integer));
    case Kind::kFixedPoint:
      return CheckedInt32(static_cast<long double>(RoundFixedPoint(integer, scale)));
    case Kind::kFloat:
      return CheckedInt32(std::nearbyint(static_cast<long double>(number)));
    default:
      throw Failure("A date or time column cannot be read as an integer");
  }
}

std::string ColumnValue::AsString() const {
  if (kind == Kind::kUnreadable) throw Failure(text);
  if (IsNull()) return std::string();
  switch (kind) {
    case Kind::kInteger:
      return std::to_string(integer);
    case Kind::kFixedPoint:
      return FixedPointText(integer, scale);
    case Kind::kFloat:
      return FloatText(number);
    case Kind::kFixedText:
      return TrimTrailingBlanks(text);
    case Kind::kVariableText:
      return text;
    default:
      throw Failure("A date or time column cannot be read as a text");
  }
}

DateTime ColumnValue::AsDateTime() const {
  if (kind == Kind::kUnreadable) throw Failure(text);
  if (IsNull()) return DateTime{};
  switch (kind) {
    case Kind::kDate:
    case Kind::kTime:
    case Kind::kTimestamp:
      return moment;
    default:
      throw Failure("The column cannot be read as a date-time");
  }
}

}  // namespace quorbin
