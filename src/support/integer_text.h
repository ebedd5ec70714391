// The integer conversion of text, used for the settings switches and for integer
// columns that the database delivers as text. The whole text must be consumed:
// leading blanks, one optional sign right before the number, then either a
// hexadecimal form ("$", "x", "X", "0x" or "0X" and at most eight significant
// digits, read as unsigned 32 bits and taken as signed) or decimal digits within
// the signed 32-bit range. Anything else is not an integer.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quorbin {

std::optional<std::int32_t> TryParseInteger(std::string_view text);

// Throws Failure "'<text>' is not a valid integer value".
std::int32_t ParseInteger(std::string_view text);

}  // namespace quorbin
