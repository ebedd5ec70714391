// The values of the SQL Server path as its driver delivers them: fixed-length
// text, decimal text without a leading digit, and timestamps to the millisecond.
#include "store/odbc_values.h"

#include <gtest/gtest.h>

namespace quorbin {
namespace {

TEST(OdbcValuesTest, CharColumnsReadWithoutTheirTrailingBlanks) {
  for (const SQLSMALLINT type : {SQL_CHAR, SQL_WCHAR}) {
    ColumnValue value;
    value.kind = KindOfSqlType(type);
    value.text = "001  ";
    EXPECT_EQ(value.AsString(), "001") << type;
    EXPECT_EQ(value.AsInteger(), 1) << type;
  }
  ColumnValue variable;
  variable.kind = KindOfSqlType(SQL_WVARCHAR);
  variable.text = "001  ";
  EXPECT_EQ(variable.AsString(), "001  ");
}

TEST(OdbcValuesTest, DecimalTextReadsAsFixedPoint) {
  const struct {
    const char* driver_text;
    const char* as_text;
    std::int32_t as_integer;
  } cases[] = {
      {".50", "0,5", 0}, {"-.5", "-0,5", 0},   {"1.50", "1,5", 2}, {"-123.45", "-123,45", -123},
      {"0.00", "0", 0},  {"2.5000", "2,5", 2},
  };
  for (const auto& c : cases) {
    const ColumnValue value = DecimalValue(c.driver_text);
    EXPECT_EQ(value.kind, ColumnValue::Kind::kFixedPoint) << c.driver_text;
    EXPECT_EQ(value.AsString(), c.as_text) << c.driver_text;
    EXPECT_EQ(value.AsInteger(), c.as_integer) << c.driver_text;
  }
}

TEST(OdbcValuesTest, TimestampsAreTakenToTheNearestMillisecond) {
  const struct {
    SQLUINTEGER fraction;
    CivilTime expected;
  } cases[] = {
      {249'499'999, {2024, 3, 5, 23, 59, 59, 249}},
      {249'500'000, {2024, 3, 5, 23, 59, 59, 250}},
      {999'600'000, {2024, 3, 6, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    const SQL_TIMESTAMP_STRUCT moment{2024, 3, 5, 23, 59, 59, c.fraction};
    EXPECT_EQ(TimestampValue(moment), DateTime::FromCivil(c.expected)) << c.fraction;
  }
}

}  // namespace
}  // namespace quorbin
