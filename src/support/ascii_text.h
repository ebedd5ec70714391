// Letter case of the ASCII letters only, as protocol names, setting keys and SQL
// column names compare: other bytes (UTF-8 included) are left as they are.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

namespace quorbin {

inline char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string AsciiLowerText(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

}  // namespace quorbin
