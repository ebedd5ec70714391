// The inside of a JSON string (the text between its quotation marks) for a text
// of UTF-8 bytes: a quotation mark and a backslash are escaped with a backslash,
// and every control character (below 0x20) is escaped, so that no value can
// change the shape of the object it goes into. Everything else passes as it is,
// byte for byte: the slash, DEL, UTF-8 sequences and bytes that are not valid
// UTF-8 (JSON allows the first three unescaped; the last is the caller's text as
// it came).
//
// The two bodies that carry such values were written with two spellings of the
// control characters, and the server receives each as it always has: the login
// uses the short forms, the invoice payload \u00XX throughout.
#pragma once

#include <string>
#include <string_view>

namespace quorbin {

enum class ControlEscapes {
  // \b \f \n \r \t for those five, \u00XX (upper-case hex) for the others.
  kShortForms,
  // \u00XX (upper-case hex) for every control character.
  kUnicodeOnly,
};

std::string JsonStringContent(std::string_view text, ControlEscapes controls);

}  // namespace quorbin
