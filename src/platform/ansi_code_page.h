// The system's ANSI code page, one byte per character. On Windows it is the
// installation's own, converted by the system: a character the code page lacks
// becomes the system's best-fit look-alike where it defines one, else "?". On
// Linux it is Windows-1252, the code page of the agent's terminals, without
// look-alikes; the five bytes it leaves undefined stand for the control
// characters of the same value. On both, a byte below 0x80 is the ASCII
// character of the same value.
#pragma once

namespace quorbin::platform {

char32_t AnsiByteToCodePoint(unsigned char byte);

// "?" for a character the code page cannot show.
char CodePointToAnsiByte(char32_t code_point);

}  // namespace quorbin::platform
