#include "sync/json_separators.h"

namespace quorbin {
namespace {

std::string ReplaceAll(std::string_view text, std::string_view pattern,
                       std::string_view replacement) {
  std::string out;
  out.reserve(text.size());
  std::size_t from = 0;
  for (std::size_t at = text.find(pattern); at != std::string_view::npos;
       at = text.find(pattern, from)) {
    out.append(text, from, at - from);
    out += replacement;
    from = at + pattern.size();
  }
  out.append(text, from);
  return out;
}

}  // namespace

std::string FixJsonSeparators(std::string_view text) {
  std::string fixed = ReplaceAll(text, "}{", "}, {");
  fixed = ReplaceAll(fixed, "} {", "}, {");
  fixed = ReplaceAll(fixed, "][", "], [");
  return ReplaceAll(fixed, "] [", "], [");
}

}  // namespace quorbin
