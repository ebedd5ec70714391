// Which charset decodes a refused answer's body.
#include "api/refused_body_text.h"

#include <gtest/gtest.h>

namespace quorbin {
namespace {

TEST(RefusedBodyTextTest, CharsetComesFromTheRightPlace) {
  const std::string e_acute_utf8 = "\xC3\xA9";
  struct Case {
    const char* name;
    std::string content_type;
    std::string body;
    std::string text;
  } cases[] = {
      {"HtmlMetaCharsetWinsOverHeader", "text/html; charset=iso-8859-1",
       "<html><head><meta charset=\"utf-8\"></head>\xC3\xA9</html>",
       "<html><head><meta charset=\"utf-8\"></head>" + e_acute_utf8 + "</html>"},
      {"HtmlHttpEquiv", "text/html",
       "<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=UTF-8'>\xC3\xA9",
       "<META HTTP-EQUIV='Content-Type' CONTENT='text/html; charset=UTF-8'>" + e_acute_utf8},
      {"HtmlWithoutMetaUsesHeader", "text/html; charset=\"UTF-8\"", "\xC3\xA9", e_acute_utf8},
      {"HtmlWithoutAnyCharsetIsLatin1", "text/html", "\xC3\xA9", "\xC3\x83\xC2\xA9"},
      {"XmlDeclarationWins", "application/xml; charset=utf-8",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>" + e_acute_utf8 + "</a>"},
      {"XmlWithoutDeclarationIsUtf8", "application/problem+xml; charset=iso-8859-1",
       "<a>\xC3\xA9</a>", "<a>" + e_acute_utf8 + "</a>"},
      {"XmlByteOrderMark", "application/xml", std::string("\xFF\xFE<\0a\0>\0", 8), "<a>"},
      {"TextXmlWithoutCharsetIsAscii", "text/xml", "<a>\xE9</a>", "<a>?</a>"},
      {"JsonWithCharset", "application/json; charset=utf-8", "{\"e\":\"\xC3\xA9\"}",
       "{\"e\":\"" + e_acute_utf8 + "\"}"},
      {"JsonWithoutCharsetKeepsBytes", "application/json", "\xE9", e_acute_utf8},
      {"NoContentType", "", "\xE9", e_acute_utf8},
      {"Windows1252", "text/plain; charset=windows-1252", "\x80", "\xE2\x82\xAC"},
      {"Utf16Le", "text/plain; charset=utf-16le", std::string("o\0k\0", 4), "ok"},
      {"UnknownCharsetKeepsBytes", "text/plain; charset=x-klingon", "\xE9", e_acute_utf8},
      {"MalformedUtf8IsReplaced", "text/plain; charset=utf-8", "a\xFFz", "a\xEF\xBF\xBDz"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecodeRefusedBody(c.body, c.content_type), c.text) << c.name;
  }
}

TEST(RefusedBodyTextTest, MetaScanSkipsOtherTagsAndEmptyCharsets) {
  EXPECT_EQ(HtmlMetaCharset("<metadata charset=x><meta name=a><meta charset='koi8-r'>"), "koi8-r");
  EXPECT_EQ(HtmlMetaCharset("<meta http-equiv=refresh content='charset=x'>"), "");
  EXPECT_EQ(HtmlMetaCharset("<meta charset="), "");
}

// As browsers do, only the first 1,024 bytes are looked at for a meta charset,
// and the scan goes on after the end of each tag.
TEST(RefusedBodyTextTest, MetaScanLooksOnlyAtTheFirst1024Bytes) {
  const std::string padding(1000, ' ');
  EXPECT_EQ(HtmlMetaCharset(padding + "<meta charset=utf-8>"), "utf-8");
  EXPECT_EQ(HtmlMetaCharset(padding + padding + "<meta charset=utf-8>"), "");
  EXPECT_EQ(HtmlMetaCharset(padding + "<meta name=x content='y' charset=utf-8>"), "");
  EXPECT_EQ(HtmlMetaCharset("<meta name=a><meta name=b><meta charset=utf-8>"), "utf-8");
}

}  // namespace
}  // namespace quorbin
