#include "support/date_time.h"

#include <chrono>
#include <cmath>

namespace quorbin {
namespace {

using std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year_month_day;

constexpr sys_days kZeroDate = sys_days{std::chrono::year{1899} / 12 / 30};

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

DateTime DateTime::FromCivil(const CivilTime& c) {
  const year_month_day date{std::chrono::year{c.year}, std::chrono::month(c.month),
                            std::chrono::day(c.day)};
  const std::int64_t day_count = (sys_days{date} - kZeroDate).count();
  const std::int64_t time_ms =
      ((static_cast<std::int64_t>(c.hour) * 60 + c.minute) * 60 + c.second) * 1000 + c.millisecond;
  return DateTime{day_count * kMsPerDay + time_ms};
}

DateTime DateTime::FromDays(double value) {
  const double whole = std::trunc(value);
  const double fraction = std::fabs(value - whole);
  return DateTime{static_cast<std::int64_t>(whole) * kMsPerDay +
                  std::llround(fraction * static_cast<double>(kMsPerDay))};
}

CivilTime DateTime::ToCivil() const {
  const std::int64_t day_count = FloorDiv(ms, kMsPerDay);
  std::int64_t rest = ms - day_count * kMsPerDay;
  const year_month_day date{kZeroDate + days{day_count}};
  CivilTime c;
  c.year = static_cast<int>(date.year());
  c.month = static_cast<int>(static_cast<unsigned>(date.month()));
  c.day = static_cast<int>(static_cast<unsigned>(date.day()));
  c.millisecond = static_cast<int>(rest % 1000);
  rest /= 1000;
  c.second = static_cast<int>(rest % 60);
  rest /= 60;
  c.minute = static_cast<int>(rest % 60);
  c.hour = static_cast<int>(rest / 60);
  return c;
}

double DateTime::ToDays() const {
  const std::int64_t day_count = FloorDiv(ms, kMsPerDay);
  const double time_fraction =
      static_cast<double>(ms - day_count * kMsPerDay) / static_cast<double>(kMsPerDay);
  return day_count < 0 ? static_cast<double>(day_count) - time_fraction
                       : static_cast<double>(day_count) + time_fraction;
}

}  // namespace quorbin
