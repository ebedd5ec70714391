// Md5Hex: the MD5 digest (RFC 1321) of a text, as 32 upper-case hexadecimal
// digits. The text (UTF-8) is hashed one byte per character: a character below
// 128 as itself, every other character as "?".
#pragma once

#include <string>
#include <string_view>

namespace quorbin {

std::string Md5Hex(std::string_view text);

}  // namespace quorbin
