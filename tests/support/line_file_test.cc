#include "support/line_file.h"

#include <gtest/gtest.h>

#include "support/code_page.h"

namespace quorbin {
namespace {

TEST(LineFileTest, DecodesByMarkSplitsAtEveryBreakAndStopsAtNul) {
  struct Case {
    const char* name;
    std::string bytes;
    TextEncoding encoding;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"empty", "", TextEncoding::kAnsi, {}},
      {"ansi breaks", "a\r\nb\rc\nd", TextEncoding::kAnsi, {"a", "b", "c", "d"}},
      {"trailing break adds no line", "a\r\n", TextEncoding::kAnsi, {"a"}},
      {"empty lines kept", "a\r\n\r\n\nb", TextEncoding::kAnsi, {"a", "", "", "b"}},
      {"ansi high bytes", "S\xE3o \x80", TextEncoding::kAnsi, {"S\xC3\xA3o \xE2\x82\xAC"}},
      {"utf8 mark", "\xEF\xBB\xBFS\xC3\xA3o", TextEncoding::kUtf8, {"S\xC3\xA3o"}},
      {"utf16le", std::string("\xFF\xFEO\0i\0\n\0!\0", 10), TextEncoding::kUtf16Le, {"Oi", "!"}},
      {"utf16be", std::string("\xFE\xFF\0O\0i", 6), TextEncoding::kUtf16Be, {"Oi"}},
      {"nul ends the text", std::string("a\r\nb\0c\r\nd", 9), TextEncoding::kAnsi, {"a", "b"}},
      {"utf16 nul", std::string("\xFF\xFEO\0\0\0i\0", 8), TextEncoding::kUtf16Le, {"O"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const LineFile file = DecodeLineFile(c.bytes);
    EXPECT_EQ(file.encoding, c.encoding);
    EXPECT_EQ(file.lines, c.lines);
  }
}

TEST(LineFileTest, EncodesWithCrLfAfterEveryLineInTheEncodingRead) {
  EXPECT_EQ(EncodeLineFile({{"a", "S\xC3\xA3o"}, TextEncoding::kAnsi}), "a\r\nS\xE3o\r\n");
  EXPECT_EQ(EncodeLineFile({{"\xC3\xA3"}, TextEncoding::kUtf8}), "\xEF\xBB\xBF\xC3\xA3\r\n");
  EXPECT_EQ(EncodeLineFile({{"a"}, TextEncoding::kUtf16Le}), std::string("\xFF\xFE"
                                                                         "a\0\r\0\n\0",
                                                                         8));
  EXPECT_EQ(EncodeLineFile({{"a"}, TextEncoding::kUtf16Be}), std::string("\xFE\xFF\0a\0\r\0\n", 8));
  EXPECT_EQ(EncodeLineFile({{}, TextEncoding::kAnsi}), "");
}

TEST(CodePageTest, ConvertsBetweenUtf8AndTheAnsiCodePage) {
  EXPECT_EQ(Utf8ToAnsi("\xE2\x80\x9C"
                       "a\xE2\x80\x9D \xC3\xA7"),
            "\x93"
            "a\x94 \xE7");
  EXPECT_EQ(Utf8ToAnsi("\xF0\x9F\x98\x80 \xE4\xB8\xAD \xFF"), "? ? ?");
  // Every byte survives the way there and back, undefined ones included.
  std::string all;
  for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(all)), all);
}

TEST(CodePageTest, Utf16PairsJoinAndLoneSurrogatesStayRecognisable) {
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xED\xA0\x80");
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
}

}  // namespace
}  // namespace quorbin
