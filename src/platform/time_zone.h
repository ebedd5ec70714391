// The machine's local time-zone rules (on Linux those of the C library: TZ, else
// the system zone), asked about a local wall-clock time.
#pragma once

#include <optional>

#include "platform/local_time.h"

namespace quorbin::platform {

// The difference of local time from UTC, in seconds east of UTC (-10800 for
// UTC-3), in effect at the local date and time `local` (its millisecond is not
// looked at). A local time that occurs twice, when the clocks go back, takes the
// difference of standard time; a local time that does not exist, skipped when the
// clocks go forward, has none.
std::optional<long> UtcOffsetAtLocalTime(const LocalTimeParts& local);

}  // namespace quorbin::platform
