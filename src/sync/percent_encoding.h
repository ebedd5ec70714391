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

// PercentEncode(CrLfLines(text)) for text of ASCII characters other than NUL, in
// one pass: every line break (CR LF, a lone CR or a lone LF) and a last line
// without one end in "%0D%0A".
std::string PercentEncodeAsciiLines(std::string_view text);

}  // namespace quorbin
