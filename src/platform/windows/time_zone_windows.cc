#include <cstdint>

#include "platform/time_zone.h"
#include "platform/windows/time_zone_rules_windows.h"

namespace quorbin::platform {
namespace {

// Days from 1970-01-01 to a civil date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<std::int64_t>(day_of_era) - 719468;
}

unsigned DaysInMonth(int year, unsigned month) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// A wall-clock time as seconds on one scale, for comparisons.
std::int64_t WallSeconds(int year, unsigned month, unsigned day, int hour, int minute, int second) {
  return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

// When a transition of the rules happens in `year`, on the wall clock in force
// just before it. The usual form names the n-th weekday of a month (5: the last);
// a date with a year is taken as that day of the month.
std::int64_t TransitionInYear(const SYSTEMTIME& rule, int year) {
  unsigned day = rule.wDay;
  if (rule.wYear == 0) {
    const std::int64_t first = DaysFromCivil(year, rule.wMonth, 1);
    const auto first_weekday = static_cast<unsigned>((first % 7 + 11) % 7);  // 0 is Sunday
    day = 1 + (rule.wDayOfWeek + 7 - first_weekday) % 7 + 7 * (rule.wDay - 1);
    while (day > DaysInMonth(year, rule.wMonth)) day -= 7;
  }
  return WallSeconds(year, rule.wMonth, day, rule.wHour, rule.wMinute, rule.wSecond);
}

}  // namespace

std::optional<long> UtcOffsetUnderRules(const LocalTimeParts& local,
                                        const TIME_ZONE_INFORMATION& rules) {
  const long standard = -(rules.Bias + rules.StandardBias) * 60L;
  const long daylight = -(rules.Bias + rules.DaylightBias) * 60L;
  if (rules.DaylightDate.wMonth == 0 || rules.StandardDate.wMonth == 0) return standard;
  const std::int64_t wall =
      WallSeconds(local.year, static_cast<unsigned>(local.month), static_cast<unsigned>(local.day),
                  local.hour, local.minute, local.second);
  // Daylight time begins at `begins` (standard wall clock), which jumps forward
  // by `shift`; it ends at `ends` (daylight wall clock), which goes back by it.
  const std::int64_t begins = TransitionInYear(rules.DaylightDate, local.year);
  const std::int64_t ends = TransitionInYear(rules.StandardDate, local.year);
  const std::int64_t shift = daylight - standard;
  if (shift <= 0) {
    const bool in_daylight =
        begins < ends ? (wall >= begins && wall < ends) : (wall >= begins || wall < ends);
    return in_daylight ? daylight : standard;
  }
  if (wall >= begins && wall < begins + shift) return std::nullopt;
  const std::int64_t first_daylight = begins + shift;
  const std::int64_t last_daylight = ends - shift;  // the repeated hour starts here
  const bool in_daylight = first_daylight <= last_daylight
                               ? (wall >= first_daylight && wall < last_daylight)
                               : (wall >= first_daylight || wall < last_daylight);
  return in_daylight ? daylight : standard;
}

// The machine's zone with the rules of the asked year where the zone's history
// knows them, else its current rules.
std::optional<long> UtcOffsetAtLocalTime(const LocalTimeParts& local) {
  DYNAMIC_TIME_ZONE_INFORMATION zone{};
  if (GetDynamicTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return 0;
  TIME_ZONE_INFORMATION rules{};
  if (zone.DynamicDaylightTimeDisabled || local.year < 1601 || local.year > 30827 ||
      !GetTimeZoneInformationForYear(static_cast<USHORT>(local.year), &zone, &rules)) {
    rules.Bias = zone.Bias;
    rules.StandardBias = zone.StandardBias;
    rules.DaylightBias = zone.DaylightBias;
    rules.StandardDate = zone.StandardDate;
    rules.DaylightDate = zone.DaylightDate;
  }
  return UtcOffsetUnderRules(local, rules);
}

}  // namespace quorbin::platform
