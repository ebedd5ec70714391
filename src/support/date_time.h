// DateTime: a local date and time without a time zone, kept as milliseconds from
// 1899-12-30 00:00:00 (the zero date-time). Database values arrive as day counts
// with the time of day as a fraction of a day; both forms convert here.
#pragma once

#include <compare>
#include <cstdint>

namespace quorbin {

struct CivilTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

struct DateTime {
  static constexpr std::int64_t kMsPerDay = 86'400'000;

  std::int64_t ms = 0;

  static DateTime FromCivil(const CivilTime& civil);
  // Whole days from the zero date plus the time of day as a fraction; a negative
  // value keeps its fraction positive (-1.25 is 1899-12-29 06:00).
  static DateTime FromDays(double days);

  CivilTime ToCivil() const;
  double ToDays() const;

  auto operator<=>(const DateTime&) const = default;
};

}  // namespace quorbin
