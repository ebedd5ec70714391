#include "sync/json_separators.h"

#include <gtest/gtest.h>

namespace quorbin {
namespace {

TEST(FixJsonSeparatorsTest, AddsTheMissingSeparatorsAndNothingElse) {
  struct Case {
    const char* text;
    const char* fixed;
  };
  const Case cases[] = {
      {"", ""},
      {"{\"a\":1}", "{\"a\":1}"},
      {"{}{}", "{}, {}"},
      {"{} {}", "{}, {}"},
      {"[][]", "[], []"},
      {"[] []", "[], []"},
      {"{}{}{}", "{}, {}, {}"},
      {"}}{{", "}}, {{"},
      // The first step's blank is not found again by the second.
      {"} {}{", "}, {}, {"},
      {"][ ] [", "], [ ], ["},
      {"]}{[", "]}, {["},
      // Other spacing between the brackets is left alone.
      {"}  {", "}  {"},
      {"}\t{", "}\t{"},
      {"}\r\n{", "}\r\n{"},
      {"]\n[", "]\n["},
      {"}, {", "}, {"},
      // The text is not parsed: string values change too.
      {"{\"s\":\"}{\"}", "{\"s\":\"}, {\"}"},
      {"]{}[", "]{}["},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FixJsonSeparators(c.text), c.fixed) << c.text;
  }
}

}  // namespace
}  // namespace quorbin
