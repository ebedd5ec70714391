// The reading rules on values built by hand: the edges of rounding and of the
// integer range, and the reads the rules leave open.
#include "store/column_value.h"

#include <gtest/gtest.h>

#include "support/failure.h"

namespace quorbin {
namespace {

using Kind = ColumnValue::Kind;

ColumnValue FixedPoint(std::int64_t integer, int scale) {
  ColumnValue value;
  value.kind = Kind::kFixedPoint;
  value.integer = integer;
  value.scale = scale;
  return value;
}

ColumnValue Float(double number) {
  ColumnValue value;
  value.kind = Kind::kFloat;
  value.number = number;
  return value;
}

TEST(ColumnValueTest, FixedPointRoundsToNearestWithTiesToEven) {
  const struct {
    std::int64_t integer;
    int scale;
    std::int32_t expected;
  } cases[] = {
      {250, -2, 2},   {350, -2, 4}, {-250, -2, -2},
      {-350, -2, -4}, {251, -2, 3}, {-251, -2, -3},
      {249, -2, 2},   {5, -3, 0},   {1500, -3, 2},
      {12, 0, 12},    {-7, -1, -1}, {214748364749, -2, 2147483647},
      {15, -1, 2},    {25, -1, 2},  {999999999999999949, -17, 10},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FixedPoint(c.integer, c.scale).AsInteger(), c.expected)
        << c.integer << " scale " << c.scale;
  }
}

TEST(ColumnValueTest, FloatRoundsToNearestWithTiesToEven) {
  const struct {
    double number;
    std::int32_t expected;
  } cases[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {-2.5, -2}, {2.4999, 2}, {-0.6, -1}};
  for (const auto& c : cases) EXPECT_EQ(Float(c.number).AsInteger(), c.expected) << c.number;
}

TEST(ColumnValueTest, NumbersOutsideTheIntegerRangeFail) {
  ColumnValue big;
  big.kind = Kind::kInteger;
  big.integer = 2147483648LL;
  EXPECT_THROW(big.AsInteger(), Failure);
  EXPECT_EQ(big.AsString(), "2147483648");
  EXPECT_THROW(FixedPoint(214748364750, -2).AsInteger(), Failure);
  EXPECT_THROW(Float(1e12).AsInteger(), Failure);
}

TEST(ColumnValueTest, NumbersReadAsTextUseTheRegionalDecimalSeparator) {
  EXPECT_EQ(FixedPoint(1250, -2).AsString(), "12,5");
  EXPECT_EQ(FixedPoint(1200, -2).AsString(), "12");
  EXPECT_EQ(FixedPoint(-5, -2).AsString(), "-0,05");
  EXPECT_EQ(Float(2.25).AsString(), "2,25");
}

TEST(ColumnValueTest, NullReadsByItsColumnKind) {
  ColumnValue null_text;
  null_text.kind = Kind::kFixedText;
  null_text.null = true;
  EXPECT_EQ(null_text.AsString(), "");
  EXPECT_THROW(null_text.AsInteger(), Failure);
  ColumnValue null_date;
  null_date.kind = Kind::kDate;
  null_date.null = true;
  EXPECT_EQ(null_date.AsDateTime(), DateTime{});
  EXPECT_EQ(ColumnValue{}.AsInteger(), 0);
  EXPECT_EQ(ColumnValue{}.AsString(), "");
}

TEST(ColumnValueTest, ReadsOutsideTheRulesFail) {
  ColumnValue date;
  date.kind = Kind::kDate;
  date.moment = DateTime::FromCivil({2024, 1, 2});
  EXPECT_THROW(date.AsInteger(), Failure);
  EXPECT_THROW(date.AsString(), Failure);
  ColumnValue text;
  text.kind = Kind::kVariableText;
  text.text = "2024-01-02";
  EXPECT_THROW(text.AsDateTime(), Failure);
  try {
    text.AsInteger();
    FAIL() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_STREQ(failure.what(), "'2024-01-02' is not a valid integer value");
  }
}

}  // namespace
}  // namespace quorbin
