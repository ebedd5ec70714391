#include <time.h>

#include <array>

#include "platform/time_zone.h"

namespace quorbin::platform {
namespace {

// Offsets in effect somewhere near `as_utc`: every transition that could make the
// local time ambiguous or missing lies within a day of it.
std::array<long, 3> NearbyOffsets(time_t as_utc) {
  std::array<long, 3> offsets{};
  const time_t probes[] = {as_utc - 2 * 86400, as_utc, as_utc + 2 * 86400};
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    tm local{};
    localtime_r(&probes[i], &local);
    offsets[i] = local.tm_gmtoff;
  }
  return offsets;
}

bool SameWallClock(const tm& a, const tm& b) {
  return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday &&
         a.tm_hour == b.tm_hour && a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

}  // namespace

std::optional<long> UtcOffsetAtLocalTime(const LocalTimeParts& local) {
  tzset();
  tm wanted{};
  wanted.tm_year = local.year - 1900;
  wanted.tm_mon = local.month - 1;
  wanted.tm_mday = local.day;
  wanted.tm_hour = local.hour;
  wanted.tm_min = local.minute;
  wanted.tm_sec = local.second;
  tm normalised = wanted;
  const time_t as_utc = timegm(&normalised);

  // Every offset under which some moment shows exactly this wall-clock time.
  std::optional<long> standard;
  std::optional<long> daylight;
  for (const long offset : NearbyOffsets(as_utc)) {
    const time_t moment = as_utc - offset;
    tm shown{};
    localtime_r(&moment, &shown);
    if (shown.tm_gmtoff != offset || !SameWallClock(shown, normalised)) continue;
    (shown.tm_isdst > 0 ? daylight : standard) = offset;
  }
  if (standard) return standard;
  return daylight;
}

}  // namespace quorbin::platform
