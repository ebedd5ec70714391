#include "identity/machine_value_text.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/local_time.h"
#include "support/code_page.h"
#include "support/date_time.h"

namespace quorbin {
namespace {

using Kind = platform::MachineValue::Kind;

std::string DateText(double days) {
  const auto& regional = platform::CurrentRegionalSettings();
  const CivilTime t = DateTime::FromDays(days).ToCivil();
  char date[32];
  std::snprintf(date, sizeof date, "%02d%s%02d%s%04d", t.day, regional.date_separator.c_str(),
                t.month, regional.date_separator.c_str(), t.year);
  std::string text = date;
  if (t.hour != 0 || t.minute != 0 || t.second != 0) {
    char time[32];
    std::snprintf(time, sizeof time, " %02d%s%02d%s%02d", t.hour, regional.time_separator.c_str(),
                  t.minute, regional.time_separator.c_str(), t.second);
    text += time;
  }
  return text;
}

// The general text form, in the ANSI code page.
std::string GeneralText(const platform::MachineValue& value) {
  switch (value.kind) {
    case Kind::kEmpty:
    case Kind::kNull:
      return {};
    case Kind::kInteger:
      return std::to_string(value.integer);
    case Kind::kUnsigned:
    case Kind::kByte:
      return std::to_string(static_cast<std::uint64_t>(value.integer));
    case Kind::kFloat:
      return GeneralFloatText(value.number, platform::CurrentRegionalSettings().decimal_separator);
    case Kind::kDate:
      return DateText(value.number);
    case Kind::kBoolean:
      return value.boolean ? "True" : "False";
    case Kind::kText:
      return Utf8ToAnsi(value.text);
    case Kind::kAnsiText:
      return value.text;
    case Kind::kArray:
      return WmiArrayToText(value);
  }
  return {};
}

}  // namespace

std::string GeneralFloatText(double number, std::string_view decimal_separator) {
  if (std::isnan(number)) return "NAN";
  if (std::isinf(number)) return number > 0 ? "INF" : "-INF";
  char digits[64];
  const auto result =
      std::to_chars(digits, digits + sizeof digits, number, std::chars_format::general, 15);
  const std::string_view raw(digits, static_cast<std::size_t>(result.ptr - digits));
  std::string text;
  const std::size_t exponent = raw.find('e');
  for (const char c : raw.substr(0, exponent)) {
    if (c == '.') {
      text += decimal_separator;
    } else {
      text += c;
    }
  }
  if (exponent != std::string_view::npos) {
    std::string_view power = raw.substr(exponent + 1);  // "+20", "-05"
    const bool negative = power.front() == '-';
    power.remove_prefix(1);
    while (power.size() > 1 && power.front() == '0') power.remove_prefix(1);
    text += negative ? "E-" : "E";
    text += power;
  }
  return text;
}

std::string WmiValueToText(const platform::MachineValue& value) {
  if (value.kind == Kind::kNull) return {};
  if (value.kind == Kind::kArray) return WmiArrayToText(value);
  return GeneralText(value);
}

std::string WmiArrayToText(const platform::MachineValue& value) {
  std::string text = "[";
  for (std::size_t i = 0; i < value.items.size(); ++i) {
    if (i > 0) text += '|';
    text += WmiItemToText(value.items[i]);
  }
  return text + "]";
}

std::string WmiItemToText(const platform::MachineValue& item) {
  if (item.kind == Kind::kByte) return std::string(1, static_cast<char>(item.integer & 0xFF));
  return GeneralText(item);
}

}  // namespace quorbin
