// The difference from UTC at a local wall-clock time under one year's rules of a
// Windows time zone, as GetTimeZoneInformationForYear gives them. Kept apart from
// the machine's zone so that tests can hand in any rules.
#pragma once

#include <windows.h>

#include <optional>

#include "platform/local_time.h"

namespace quorbin::platform {

// Seconds east of UTC. Without a daylight period the standard difference; the
// hour repeated when daylight saving time ends takes the standard difference, and
// the hour skipped when it begins has none.
std::optional<long> UtcOffsetUnderRules(const LocalTimeParts& local,
                                        const TIME_ZONE_INFORMATION& rules);

}  // namespace quorbin::platform
