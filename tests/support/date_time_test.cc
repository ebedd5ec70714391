#include "support/date_time.h"

#include <gtest/gtest.h>

namespace quorbin {
namespace {

TEST(DateTimeTest, DayCountsAndFractionsMatchCivilTimes) {
  struct Case {
    double days;
    CivilTime civil;
  };
  const Case cases[] = {
      {0.0, {1899, 12, 30, 0, 0, 0, 0}},
      {2.75, {1900, 1, 1, 18, 0, 0, 0}},
      {-1.25, {1899, 12, 29, 6, 0, 0, 0}},
      {46000.5, {2025, 12, 9, 12, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.days);
    const DateTime moment = DateTime::FromDays(c.days);
    EXPECT_EQ(moment, DateTime::FromCivil(c.civil));
    EXPECT_DOUBLE_EQ(moment.ToDays(), c.days);
    const CivilTime back = moment.ToCivil();
    EXPECT_EQ(std::tie(back.year, back.month, back.day, back.hour),
              std::tie(c.civil.year, c.civil.month, c.civil.day, c.civil.hour));
  }
}

}  // namespace
}  // namespace quorbin
