// A stored closing as any bytes, repaired by FixJsonSeparators. Checks that the
// repair leaves no pair it should have separated, that a second repair changes
// nothing, that only a comma (and the blank after it when the pair had none)
// is ever inserted, right after a closing bracket, and that text without any of
// the pairs comes back as it was.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "sync/json_separators.h"

namespace {

constexpr std::string_view kPairs[] = {"}{", "} {", "][", "] ["};

bool HasPair(std::string_view text) {
  for (std::string_view pair : kPairs) {
    if (text.find(pair) != std::string_view::npos) return true;
  }
  return false;
}

// Whether `fixed` is `input` with only "," or ", " inserted after closing
// brackets: walks both side by side, skipping what the input does not have.
bool OnlySeparatorsInserted(std::string_view input, std::string_view fixed) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (j < fixed.size()) {
    if (i < input.size() && input[i] == fixed[j]) {
      ++i;
      ++j;
      continue;
    }
    const bool after_closer = j > 0 && (fixed[j - 1] == '}' || fixed[j - 1] == ']');
    if (!after_closer || fixed[j] != ',') return false;
    ++j;
    if (j < fixed.size() && fixed[j] == ' ' && (i >= input.size() || input[i] != ' ')) ++j;
  }
  return i == input.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string fixed = quorbin::FixJsonSeparators(input);
  if (HasPair(fixed)) std::abort();
  if (quorbin::FixJsonSeparators(fixed) != fixed) std::abort();
  if (!HasPair(input) && fixed != input) std::abort();
  if (!OnlySeparatorsInserted(input, fixed)) std::abort();
  return 0;
}
