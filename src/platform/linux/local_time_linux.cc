#include <time.h>

#include "platform/local_time.h"

namespace quorbin::platform {

LocalTimeParts LocalNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  return LocalTimeParts{local.tm_year + 1900,
                        local.tm_mon + 1,
                        local.tm_mday,
                        local.tm_hour,
                        local.tm_min,
                        local.tm_sec,
                        static_cast<int>(now.tv_nsec / 1'000'000)};
}

// Linux has no per-user regional settings that the agent's terminals would use:
// the separators are those of the Brazilian Windows installations.
const RegionalSettings& CurrentRegionalSettings() {
  static const RegionalSettings settings{"/", ":", ","};
  return settings;
}

}  // namespace quorbin::platform
