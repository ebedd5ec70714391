#include "store/odbc_connection_string.h"

#include <algorithm>
#include <string_view>
#include "support/ascii_text.h"

namespace quorbin {
namespace {

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
  return AsciiUpperText(text).find(AsciiUpperText(part)) != std::string::npos;
}

bool ContainsAnyOf(std::string_view text, std::string_view characters) {
  return text.find_first_of(characters) != std::string_view::npos;
}

// Inside braces a closing brace is written twice, so that it cannot end the value.
std::string InBraces(std::string_view text) {
  std::string result = "{";
  for (const char c : text) {
    result += c;
    if (c == '}') result += '}';
  }
  return result + "}";
}

std::string QuoteDriver(const std::string& driver) {
  return ContainsAnyOf(driver, "[]{}(),;?*=!@") ? InBraces(driver) : driver;
}

bool AlreadyEnclosed(std::string_view value) {
  if (value.size() < 2) return false;
  return (value.front() == '{' && value.back() == '}') ||
         (value.front() == '"' && value.back() == '"');
}

std::string QuoteValue(const std::string& value) {
  if (!ContainsAnyOf(value, "!()*,;=?@[]{}") || AlreadyEnclosed(value)) return value;
  return InBraces(value);
}

bool NeedsMars(const std::string& driver) {
  static const char* const kMarsDrivers[] = {
      "ODBC DRIVER 11 FOR SQL SERVER", "ODBC DRIVER 13 FOR SQL SERVER",
      "SQL SERVER NATIVE CLIENT 11.0", "SQL NATIVE CLIENT", "SQL SERVER NATIVE CLIENT 10.0"};
  return std::any_of(std::begin(kMarsDrivers), std::end(kMarsDrivers),
                     [&](const char* name) { return EqualsIgnoringCase(driver, name); });
}

}  // namespace

const std::vector<std::string>& SqlServerDriverCandidates() {
  static const std::vector<std::string> candidates = {"SQL SERVER NATIVE CLIENT 11.0",
                                                      "ODBC DRIVER 13 FOR SQL SERVER",
                                                      "ODBC DRIVER 11 FOR SQL SERVER",
                                                      "ODBC DRIVER 17 FOR SQL SERVER",
                                                      "SQL SERVER NATIVE CLIENT 10.0",
                                                      "SQL NATIVE CLIENT",
                                                      "SQL SERVER"};
  return candidates;
}

std::optional<std::string> ChooseOdbcDriver(const std::vector<std::string>& installed) {
  for (const std::string& candidate : SqlServerDriverCandidates()) {
    for (const std::string& name : installed) {
      if (EqualsIgnoringCase(name, candidate)) return name;
    }
  }
  return std::nullopt;
}

std::string BuildOdbcConnectionString(const ConnectionProfile& profile,
                                      const std::optional<std::string>& driver) {
  std::vector<std::string> items;
  if (driver) items.push_back("DRIVER=" + QuoteDriver(*driver));
  static const std::pair<const char*, const char*> kItems[] = {{"UID", "User_Name"},
                                                               {"Server", "Server"},
                                                               {"Database", "Database"},
                                                               {"Trusted_Connection", "OSAuthent"}};
  for (const auto& [key, parameter] : kItems) {
    const std::string value = profile.Get(parameter);
    if (!value.empty()) items.push_back(std::string(key) + "=" + QuoteValue(value));
  }
  std::string text;
  for (const std::string& item : items) {
    if (!text.empty()) text += ";";
    text += item;
  }
  if (driver && NeedsMars(*driver) && !ContainsIgnoringCase(text, "MARS_CONNECTION=")) {
    text += ";MARS_Connection=yes";
  }
  return text;
}

}  // namespace quorbin
