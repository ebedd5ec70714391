#include "support/profile_file.h"

#include <algorithm>
#include <exception>

#include "support/ascii_text.h"
#include "support/line_file.h"

namespace quorbin {
namespace {

constexpr std::size_t kMaxValueLength = 2047;

std::string_view TrimBlanks(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// The value cut after its 2047th character (not byte).
std::string CutValue(std::string_view value) {
  std::size_t characters = 0;
  std::size_t end = 0;
  while (end < value.size() && characters < kMaxValueLength) {
    ++end;
    while (end < value.size() && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80) ++end;
    ++characters;
  }
  return std::string(value.substr(0, end));
}

}  // namespace

std::string ReadProfileString(const std::filesystem::path& file, std::string_view section,
                              std::string_view key) {
  LineFile profile;
  try {
    profile = ReadLineFile(file);
  } catch (const std::exception&) {
    return {};
  }
  bool in_section = false;
  for (const auto& raw : profile.lines) {
    const std::string_view line = TrimBlanks(raw);
    if (line.starts_with('[')) {
      const auto close = line.find(']');
      if (close == std::string_view::npos) continue;
      if (in_section) return {};  // only the first matching section counts
      in_section = EqualsIgnoringCase(TrimBlanks(line.substr(1, close - 1)), section);
      continue;
    }
    if (!in_section || line.starts_with(';')) continue;
    const auto equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    if (EqualsIgnoringCase(TrimBlanks(line.substr(0, equals)), key)) {
      return CutValue(Unquote(TrimBlanks(line.substr(equals + 1))));
    }
  }
  return {};
}

}  // namespace quorbin
