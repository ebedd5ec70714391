// Text conversions between the agent's internal UTF-8 strings and the encodings it
// meets on disk and on the wire: the ANSI code page (Windows-1252 on the
// terminals) and UTF-16. Nothing here fails: what cannot be represented becomes
// "?" (ANSI) or U+FFFD (malformed UTF-8 or UTF-16 input).
#pragma once

#include <string>
#include <string_view>

namespace quorbin {

// One character per byte, as the system converts the ANSI code page (see
// platform/ansi_code_page.h).
std::string AnsiToUtf8(std::string_view ansi);

// A character the code page lacks becomes the system's best-fit look-alike on
// Windows, else "?".
std::string Utf8ToAnsi(std::string_view utf8);

// A surrogate that is not part of a pair is kept as its own three-byte sequence
// (the generalised UTF-8 form), so that later steps can still refuse it.
std::string Utf16ToUtf8(std::u16string_view utf16);
std::u16string Utf8ToUtf16(std::string_view utf8);

// Decodes the next code point of UTF-8 text at `pos` and advances `pos`. Malformed
// bytes give U+FFFD and advance by one; surrogates in three-byte form are returned
// as themselves.
char32_t NextCodePoint(std::string_view utf8, std::size_t& pos);
void AppendUtf8(std::string& out, char32_t code_point);

}  // namespace quorbin
