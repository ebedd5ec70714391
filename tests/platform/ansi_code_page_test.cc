// The ANSI code page of the terminals (Windows-1252) as the system converts it:
// every byte stands for one character and back; a character outside it becomes
// "?", or on Windows the system's best-fit look-alike where it has one.
#include "platform/ansi_code_page.h"

#include <gtest/gtest.h>

namespace quorbin::platform {
namespace {

TEST(AnsiCodePageTest, Windows1252BothWays) {
  const struct {
    unsigned char byte;
    char32_t code_point;
  } cases[] = {{'A', U'A'},       {0x80, U'\u20AC'}, {0x9C, U'\u0153'},
               {0xA0, U'\u00A0'}, {0xE7, U'\u00E7'}, {0xFF, U'\u00FF'}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.byte));
    EXPECT_EQ(AnsiByteToCodePoint(c.byte), c.code_point);
    EXPECT_EQ(CodePointToAnsiByte(c.code_point), static_cast<char>(c.byte));
  }
}

TEST(AnsiCodePageTest, CharactersOutsideItBecomeQuestionMarksOrLookAlikes) {
  EXPECT_EQ(CodePointToAnsiByte(U'\u4E2D'), '?');      // an ideogram
  EXPECT_EQ(CodePointToAnsiByte(U'\U0001F600'), '?');  // outside the BMP
#ifdef _WIN32
  EXPECT_EQ(CodePointToAnsiByte(U'\u0109'), 'c');  // c with circumflex: its best fit
#else
  EXPECT_EQ(CodePointToAnsiByte(U'\u0109'), '?');
#endif
}

}  // namespace
}  // namespace quorbin::platform
