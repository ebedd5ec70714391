#include "support/clock.h"

#include "platform/local_time.h"

namespace quorbin {

DateTime SystemClock::Now() const {
  const auto t = platform::LocalNow();
  return DateTime::FromCivil({t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond});
}

}  // namespace quorbin
