#include "sync/iso8601_local.h"

#include <cstdio>
#include <cstdlib>

#include "platform/time_zone.h"
#include "support/failure.h"

namespace quorbin {

std::string FormatIso8601Local(DateTime time) {
  const CivilTime c = time.ToCivil();
  const auto offset = platform::UtcOffsetAtLocalTime(
      {c.year, c.month, c.day, c.hour, c.minute, c.second, c.millisecond});
  char text[64];
  std::snprintf(text, sizeof text, "%.4d-%.2d-%.2dT%.2d:%.2d:%.2d.%.3d", c.year, c.month, c.day,
                c.hour, c.minute, c.second, c.millisecond);
  if (!offset) {
    throw Failure(std::string("The local time ") + text +
                  " does not exist in the local time zone.");
  }
  // Minutes west of UTC, the fraction of a minute cut off.
  const long bias = -*offset / 60;
  std::string result = text;
  if (bias == 0) return result + "Z";
  char zone[32];
  std::snprintf(zone, sizeof zone, "%s%.02ld:%.02ld", bias > 0 ? "-" : "+", std::labs(bias) / 60,
                std::labs(bias) % 60);
  return result + zone;
}

}  // namespace quorbin
