// The text of each kind of property value, alone and inside an array.
#include "identity/machine_value_text.h"

#include <gtest/gtest.h>

namespace quorbin {
namespace {

using platform::MachineValue;
using Kind = MachineValue::Kind;

MachineValue Of(Kind kind, std::int64_t integer = 0, double number = 0) {
  MachineValue value = MachineValue::OfKind(kind);
  value.integer = integer;
  value.number = number;
  return value;
}

MachineValue Boolean(bool b) {
  MachineValue value = MachineValue::OfKind(Kind::kBoolean);
  value.boolean = b;
  return value;
}

MachineValue Ansi(std::string bytes) {
  MachineValue value = MachineValue::OfKind(Kind::kAnsiText);
  value.text = std::move(bytes);
  return value;
}

TEST(MachineValueTextTest, EachKindHasItsText) {
  struct Case {
    const char* name;
    MachineValue value;
    std::string text;
  } cases[] = {
      {"Null", MachineValue::Null(), ""},
      {"Empty", MachineValue(), ""},
      {"Negative", Of(Kind::kInteger, -42), "-42"},
      {"Unsigned", Of(Kind::kUnsigned, 4294967295), "4294967295"},
      {"ByteAlone", Of(Kind::kByte, 65), "65"},
      {"Fraction", Of(Kind::kFloat, 0, 1.5), "1,5"},
      {"Whole", Of(Kind::kFloat, 0, 3.0), "3"},
      {"Small", Of(Kind::kFloat, 0, 0.0001), "0,0001"},
      {"Smaller", Of(Kind::kFloat, 0, 0.00001), "1E-5"},
      {"FifteenDigits", Of(Kind::kFloat, 0, 123456789012345.0), "123456789012345"},
      {"Large", Of(Kind::kFloat, 0, 1234567890123456789.0), "1,23456789012346E18"},
      {"Third", Of(Kind::kFloat, 0, 1.0 / 3), "0,333333333333333"},
      {"DateOnly", Of(Kind::kDate, 0, 45356.0), "05/03/2024"},
      {"DateAndTime", Of(Kind::kDate, 0, 45356.5), "05/03/2024 12:00:00"},
      {"True", Boolean(true), "True"},
      {"False", Boolean(false), "False"},
      {"Text", MachineValue::Text("Conceic\xC3\xA3o \xE4\xB8\xAD"), "Conceic\xE3o ?"},
      {"AnsiText", Ansi("\xE3\x80"), "\xE3\x80"},
      {"List", MachineValue::Array({MachineValue::Text("A"), MachineValue::Text("B")}), "[A|B]"},
      {"EmptyList", MachineValue::Array({}), "[]"},
      {"ListOfKinds",
       MachineValue::Array({Of(Kind::kInteger, 7), Of(Kind::kByte, 0xE7), MachineValue::Null(),
                            Boolean(true), MachineValue::Array({MachineValue::Text("n")})}),
       "[7|\xE7||True|[n]]"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WmiValueToText(c.value), c.text) << c.name;
  }
}

TEST(MachineValueTextTest, ByteItemIsOneCharacter) {
  EXPECT_EQ(WmiItemToText(Of(Kind::kByte, 65)), "A");
  EXPECT_EQ(WmiValueToText(Of(Kind::kByte, 65)), "65");
}

}  // namespace
}  // namespace quorbin
