#include "api/cookie_date.h"

#include <array>
#include <chrono>
#include <string>

#include "support/ascii_text.h"

namespace quorbin {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsDateDelimiter(char c) {
  const auto u = static_cast<unsigned char>(c);
  return u == 0x09 || (u >= 0x20 && u <= 0x2F) || (u >= 0x3B && u <= 0x40) ||
         (u >= 0x5B && u <= 0x60) || (u >= 0x7B && u <= 0x7E);
}

// Reads `min` to `max` digits at the start of `token`; the rest is consumed.
std::optional<int> LeadingDigits(std::string_view& token, std::size_t min, std::size_t max) {
  std::size_t count = 0;
  int value = 0;
  while (count < token.size() && IsDigit(token[count])) value = value * 10 + (token[count++] - '0');
  if (count < min || count > max) return std::nullopt;
  token.remove_prefix(count);
  return value;
}

// hms-time: 1*2DIGIT ":" 1*2DIGIT ":" 1*2DIGIT, followed by anything but a digit.
bool ParseTime(std::string_view token, int& hour, int& minute, int& second) {
  const auto h = LeadingDigits(token, 1, 2);
  if (!h || token.empty() || token.front() != ':') return false;
  token.remove_prefix(1);
  const auto m = LeadingDigits(token, 1, 2);
  if (!m || token.empty() || token.front() != ':') return false;
  token.remove_prefix(1);
  const auto s = LeadingDigits(token, 1, 2);
  if (!s || (!token.empty() && IsDigit(token.front()))) return false;
  hour = *h, minute = *m, second = *s;
  return true;
}

// 1*2DIGIT (or 2*4DIGIT for a year) followed by anything but a digit.
std::optional<int> ParseNumberToken(std::string_view token, std::size_t min, std::size_t max) {
  const auto value = LeadingDigits(token, min, max);
  if (!value || (!token.empty() && IsDigit(token.front()))) return std::nullopt;
  return value;
}

std::optional<int> ParseMonth(std::string_view token) {
  static constexpr std::array<std::string_view, 12> kMonths = {
      "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};
  if (token.size() < 3) return std::nullopt;
  const std::string prefix = AsciiLowerText(token.substr(0, 3));
  for (std::size_t i = 0; i < kMonths.size(); ++i) {
    if (prefix == kMonths[i]) return static_cast<int>(i + 1);
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::int64_t> ParseCookieDate(std::string_view text) {
  std::optional<int> day, month, year;
  bool found_time = false;
  int hour = 0, minute = 0, second = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    while (pos < text.size() && IsDateDelimiter(text[pos])) ++pos;
    std::size_t end = pos;
    while (end < text.size() && !IsDateDelimiter(text[end])) ++end;
    const std::string_view token = text.substr(pos, end - pos);
    pos = end;
    if (token.empty()) continue;
    if (!found_time && ParseTime(token, hour, minute, second)) {
      found_time = true;
      continue;
    }
    if (!day && (day = ParseNumberToken(token, 1, 2))) continue;
    if (!month && (month = ParseMonth(token))) continue;
    if (!year) year = ParseNumberToken(token, 2, 4);
  }
  if (!day || !month || !year || !found_time) return std::nullopt;
  int y = *year;
  if (y >= 70 && y <= 99) y += 1900;
  if (y >= 0 && y <= 69) y += 2000;
  if (*day < 1 || *day > 31 || y < 1601 || hour > 23 || minute > 59 || second > 59) {
    return std::nullopt;
  }
  const std::chrono::year_month_day date{std::chrono::year(y),
                                         std::chrono::month(static_cast<unsigned>(*month)),
                                         std::chrono::day(static_cast<unsigned>(*day))};
  if (!date.ok()) return std::nullopt;
  const auto days = std::chrono::sys_days(date).time_since_epoch().count();
  return std::int64_t{days} * 86'400 + hour * 3600 + minute * 60 + second;
}

}  // namespace quorbin
