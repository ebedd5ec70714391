// The difference from UTC under the rules of a Windows time zone: no daylight
// time, daylight time in the northern and in the southern summer, the skipped and
// the repeated hour, and the machine's own zone.
#include "platform/windows/time_zone_rules_windows.h"

#include <gtest/gtest.h>

#include "platform/time_zone.h"

namespace quorbin::platform {
namespace {

// A transition on the n-th (5: last) weekday of a month at an hour.
SYSTEMTIME Rule(int month, int weekday, int occurrence, int hour) {
  SYSTEMTIME rule{};
  rule.wMonth = static_cast<WORD>(month);
  rule.wDayOfWeek = static_cast<WORD>(weekday);
  rule.wDay = static_cast<WORD>(occurrence);
  rule.wHour = static_cast<WORD>(hour);
  return rule;
}

TIME_ZONE_INFORMATION Zone(long bias, SYSTEMTIME standard = {}, SYSTEMTIME daylight = {}) {
  TIME_ZONE_INFORMATION zone{};
  zone.Bias = bias;
  zone.StandardDate = standard;
  zone.DaylightDate = daylight;
  zone.DaylightBias = daylight.wMonth ? -60 : 0;
  return zone;
}

LocalTimeParts At(int year, int month, int day, int hour, int minute) {
  return {year, month, day, hour, minute, 0, 0};
}

TEST(TimeZoneRulesTest, OffsetsByRulesAndLocalTime) {
  // Brasília with the daylight time of 2018: from the first Sunday of November
  // at 0:00 to the third Sunday of February at 0:00.
  const auto brasilia = Zone(180, Rule(2, 0, 3, 0), Rule(11, 0, 1, 0));
  // Central Europe: the last Sunday of March at 2:00 to the last of October at 3:00.
  const auto europe = Zone(-60, Rule(10, 0, 5, 3), Rule(3, 0, 5, 2));
  struct Case {
    const char* name;
    TIME_ZONE_INFORMATION zone;
    LocalTimeParts local;
    std::optional<long> offset;
  };
  const Case cases[] = {
      {"UTC", Zone(0), At(2022, 5, 10, 14, 30), 0},
      {"UTC-3 without daylight time", Zone(180), At(2022, 5, 10, 14, 30), -10800},
      {"UTC+5:30", Zone(-330), At(2022, 5, 10, 14, 30), 19800},
      {"southern winter", brasilia, At(2018, 7, 1, 12, 0), -10800},
      {"southern summer, December", brasilia, At(2018, 12, 25, 12, 0), -7200},
      {"southern summer, January", brasilia, At(2018, 1, 10, 12, 0), -7200},
      {"skipped hour at midnight", brasilia, At(2018, 11, 4, 0, 30), std::nullopt},
      {"first hour after the skip", brasilia, At(2018, 11, 4, 1, 0), -7200},
      {"repeated hour takes standard time", brasilia, At(2018, 2, 17, 23, 30), -10800},
      {"last daylight minute before it", brasilia, At(2018, 2, 17, 22, 59), -7200},
      {"northern summer", europe, At(2022, 7, 1, 12, 0), 7200},
      {"northern winter", europe, At(2022, 1, 1, 12, 0), 3600},
      {"spring gap", europe, At(2022, 3, 27, 2, 30), std::nullopt},
      {"autumn repeat", europe, At(2022, 10, 30, 2, 30), 3600},
      {"zero date", europe, At(1899, 12, 30, 0, 0), 3600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(UtcOffsetUnderRules(c.local, c.zone), c.offset);
  }
}

TEST(TimeZoneRulesTest, TheMachinesZoneMatchesTheSystemsClock) {
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  GetSystemTime(&utc);
  SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local);
  FILETIME utc_file{};
  FILETIME local_file{};
  SystemTimeToFileTime(&utc, &utc_file);
  SystemTimeToFileTime(&local, &local_file);
  const auto ticks = [](const FILETIME& t) {
    return static_cast<long long>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) |
                                  t.dwLowDateTime);
  };
  const long expected = static_cast<long>((ticks(local_file) - ticks(utc_file)) / 10'000'000);
  const auto offset = UtcOffsetAtLocalTime(
      {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond, 0});
  // Only within the hour that the clocks go back could the two differ.
  ASSERT_TRUE(offset.has_value());
  EXPECT_EQ(*offset, expected);
}

}  // namespace
}  // namespace quorbin::platform
