// The text of a refused answer's body, decoded with the charset the answer
// declares:
//   html (text/html, text/html-sandboxed, application/xhtml+xml): a charset of a
//     meta element in the first 1,024 bytes wins over the Content-Type header;
//   XML (application/xml, application/xml-dtd, application/xml-external-parsed-
//     entity, and every type outside text/ whose subtype ends in "+xml"): the
//     byte-order mark or the encoding of the XML declaration, else UTF-8;
//   otherwise the charset parameter of Content-Type; a text/ type without one is
//     ISO-8859-1 (the XML text types US-ASCII); with no charset at all every byte
//     is the character of the same code.
// Recognised charsets: UTF-8, UTF-16 (LE, BE), ISO-8859-1, US-ASCII and
// Windows-1252 under their usual names; any other is read byte for character.
// The result is UTF-8; nothing here fails.
#pragma once

#include <string>
#include <string_view>

namespace quorbin {

std::string DecodeRefusedBody(std::string_view body, std::string_view content_type);

// The charset named by the first meta element of an html text that declares one,
// looked for in its first 1,024 bytes only (as browsers do), or empty. The time
// it takes grows with those bytes only, whatever the text.
std::string HtmlMetaCharset(std::string_view html);

}  // namespace quorbin
