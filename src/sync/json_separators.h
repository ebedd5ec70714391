// FixJsonSeparators: the repair the closing phase makes to the closing JSON that
// the point-of-sale program stored, which sometimes lacks the comma between two
// adjacent objects or arrays. Four replacements, in this order, each over the
// result of the one before: "}{" and "} {" become "}, {"; "][" and "] [" become
// "], [". Each finds its pattern from left to right without overlap and does not
// search again what it inserted. The text is not parsed: occurrences inside
// string values change too, and no other spacing matches (two blanks, a tab or a
// line break between the brackets leave the text as it is).
#pragma once

#include <string>
#include <string_view>

namespace quorbin {

std::string FixJsonSeparators(std::string_view text);

}  // namespace quorbin
