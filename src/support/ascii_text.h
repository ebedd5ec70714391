// Letter case of the ASCII letters only, as protocol names, setting keys, SQL
// column names and file extensions compare: other bytes (UTF-8 included) are
// left as they are, whatever the process locale (std::tolower and std::toupper
// follow it: a Turkish locale folds "I" to a dotless i, a Latin-1 one folds
// accented bytes).
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace quorbin {

inline char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

inline std::string AsciiLowerText(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

inline std::string AsciiUpperText(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = AsciiUpper(c);
  return upper;
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

}  // namespace quorbin
