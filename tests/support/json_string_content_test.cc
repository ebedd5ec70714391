// The inside of a JSON string, in both spellings of the control characters.
#include "support/json_string_content.h"

#include <gtest/gtest.h>

#include <string>

namespace quorbin {
namespace {

struct EscapeCase {
  const char* name;
  std::string text;
  std::string short_forms;
  std::string unicode_only;
};

TEST(JsonStringContentTest, Table) {
  const EscapeCase cases[] = {
      {"empty", "", "", ""},
      {"plain ASCII", "NFe35220512", "NFe35220512", "NFe35220512"},
      {"quotation mark and backslash", "a\"b\\c", "a\\\"b\\\\c", "a\\\"b\\\\c"},
      {"the five with short forms", "\b\f\n\r\t", "\\b\\f\\n\\r\\t",
       "\\u0008\\u000C\\u000A\\u000D\\u0009"},
      {"other control characters", std::string("\0\x01\x1F", 3), "\\u0000\\u0001\\u001F",
       "\\u0000\\u0001\\u001F"},
      {"blank, slash and DEL pass", " /\x7F", " /\x7F", " /\x7F"},
      {"UTF-8 passes byte for byte", "\xC3\xA7\xE2\x82\xAC\xF0\x9F\x98\x80",
       "\xC3\xA7\xE2\x82\xAC\xF0\x9F\x98\x80", "\xC3\xA7\xE2\x82\xAC\xF0\x9F\x98\x80"},
      {"invalid UTF-8 passes byte for byte", "\xFF\xC3(\x80", "\xFF\xC3(\x80", "\xFF\xC3(\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JsonStringContent(c.text, ControlEscapes::kShortForms), c.short_forms) << c.name;
    EXPECT_EQ(JsonStringContent(c.text, ControlEscapes::kUnicodeOnly), c.unicode_only) << c.name;
  }
}

}  // namespace
}  // namespace quorbin
