// PercentEncode: the file text as the invoice payload carries it. The text is
// walked by UTF-16 code units; a unit from 0x21 to 0x7F stays as it is unless it is
// one of * < > # % " { } | \ ^ [ ] ` ; every other character (a surrogate pair
// taken as one) is written as its UTF-8 bytes, each as "%" and two upper-case
// hexadecimal digits. A surrogate that is not part of a pair fails.
#pragma once

#include <string>
#include <string_view>

namespace quorbin {

// `text` is UTF-8, in which a lone surrogate is kept as its three-byte form.
std::string PercentEncode(std::string_view text);

// True for an ASCII character that PercentEncode keeps as it is.
bool PercentKept(char c);
// Appends `byte` as "%" and two upper-case hexadecimal digits.
void AppendPercentEncoded(std::string& out, unsigned char byte);

}  // namespace quorbin
