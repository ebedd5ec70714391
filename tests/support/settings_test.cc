#include "support/settings.h"

#include <gtest/gtest.h>

#include "support/failure.h"
#include "support/integer_text.h"
#include "support/profile_file.h"
#include "testing/temp_dir.h"

namespace quorbin {
namespace {

using testing::TempDir;
using testing::WriteBytes;

TEST(IntegerTextTest, ConvertsOnlyWholeIntegerTexts) {
  struct Case {
    const char* text;
    std::optional<std::int32_t> value;
  };
  const Case cases[] = {
      {"1", 1},
      {"-1", -1},
      {"+5", 5},
      {"0", 0},
      {"00", 0},
      {"   42", 42},
      {"0000000000007", 7},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"$1", 1},
      {"0x1", 1},
      {"0X1f", 31},
      {"x1", 1},
      {"X1", 1},
      {"$0", 0},
      {"0x0", 0},
      {"$FFFFFFFF", -1},
      {"$7fffffff", 2147483647},
      {"-$1", -1},
      {"-$80000000", INT32_MIN},
      {"$0000000001", 1},
      {"$100000000", std::nullopt},
      {"0x", std::nullopt},
      {"$", std::nullopt},
      {"0xg", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"+", std::nullopt},
      {"- 1", std::nullopt},
      {"--1", std::nullopt},
      {"1 ", std::nullopt},
      {"1 ; remark", std::nullopt},
      {"1.0", std::nullopt},
      {"1,0", std::nullopt},
      {"\t1", std::nullopt},
      {"true", std::nullopt},
      {"on", std::nullopt},
      {"1e3", std::nullopt},
      {"00x1", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("text \"") + c.text + "\"");
    EXPECT_EQ(TryParseInteger(c.text), c.value);
  }
}

TEST(IntegerTextTest, FailureNamesTheText) {
  try {
    ParseInteger("12a");
    FAIL() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_STREQ(failure.what(), "'12a' is not a valid integer value");
  }
}

TEST(SettingsTest, ReadsSwitchesFromTheProfile) {
  struct Case {
    const char* name;
    std::string ini;
    bool debug;    // "DEBUG", default false
    bool offline;  // "OFFLINE", default true
  };
  const Case cases[] = {
      {"no entries", "", false, true},
      {"plain", "[MAIN]\r\nDEBUG=1\r\nOFFLINE=0\r\n", true, false},
      {"lower case and blanks", "[main]\nDebug = 1\n  offline\t=  00  \n", true, false},
      {"words are not numbers", "[MAIN]\nDEBUG=true\nOFFLINE=false\n", false, true},
      {"hexadecimal zero", "[MAIN]\nOFFLINE=0x0\n", false, false},
      {"double quotes", "[MAIN]\nDEBUG=\"1\"\n", true, true},
      {"single quotes", "[MAIN]\nDEBUG='1'\nOFFLINE=\"0'\n", true, true},
      {"remark is part of the value", "[MAIN]\nDEBUG=1 ; on\n", false, true},
      {"out of range", "[MAIN]\nDEBUG=2147483648\n", false, true},
      {"lowest", "[MAIN]\nDEBUG=-2147483648\n", true, true},
      {"all bits", "[MAIN]\nDEBUG=$FFFFFFFF\n", true, true},
      {"more than 32 bits", "[MAIN]\nDEBUG=$100000000\n", false, true},
      {"prefix alone", "[MAIN]\nDEBUG=0x\n", false, true},
      {"other section", "[OTHER]\nDEBUG=1\n[MAIN]\nOFFLINE=0\n", false, false},
      {"key after the section ended", "[MAIN]\n[OTHER]\nDEBUG=1\n", false, true},
      {"comment line", "[MAIN]\n;DEBUG=1\n", false, true},
      {"first occurrence counts", "[MAIN]\nDEBUG=1\nDEBUG=0\n", true, true},
      {"value keeps its first equals sign only", "[MAIN]\nDEBUG==1\n", false, true},
      {"utf8 mark", "\xEF\xBB\xBF[MAIN]\r\nDEBUG=1\r\n", true, true},
      {"utf16 file", std::string("\xFF\xFE[\0M\0A\0I\0N\0]\0\n\0D\0E\0B\0U\0G\0=\0001\0", 30), true,
       true},
  };
  TempDir dir;
  const auto ini = dir / "sync.ini";
  EXPECT_FALSE(ReadSettingBool(ini, "MAIN", "DEBUG", false)) << "missing file";
  EXPECT_TRUE(ReadSettingBool(ini, "MAIN", "OFFLINE", true)) << "missing file";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(ini, c.ini);
    EXPECT_EQ(ReadSettingBool(ini, "MAIN", "DEBUG", false), c.debug);
    EXPECT_EQ(ReadSettingBool(ini, "MAIN", "OFFLINE", true), c.offline);
  }
}

TEST(SettingsTest, LongValuesAreCutAfter2047Characters) {
  TempDir dir;
  const auto ini = dir / "sync.ini";
  WriteBytes(ini, "[MAIN]\nK=" + std::string(2046, '0') + "12\n");
  EXPECT_EQ(ReadProfileString(ini, "MAIN", "K"), std::string(2046, '0') + "1");
  EXPECT_TRUE(ReadSettingBool(ini, "MAIN", "K", false));
}

}  // namespace
}  // namespace quorbin
