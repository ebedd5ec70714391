// FormatIso8601Local: a local date-time in ISO 8601 with the difference of the
// machine's time zone from UTC in effect at that local time, as
// "yyyy-mm-ddThh:nn:ss.zzz" followed by "Z" when the difference is zero, else by
// "-hh:mm" west of UTC or "+hh:mm" east of it (whole minutes, seconds cut off). A
// local time that occurs twice takes standard time; one that does not exist
// (skipped when the clocks go forward) fails.
#pragma once

#include <string>

#include "support/date_time.h"

namespace quorbin {

std::string FormatIso8601Local(DateTime time);

}  // namespace quorbin
