// Clock: "now" as the machine's local date-time. Injected wherever a behaviour has
// a timing rule, so that tests can set and move it.
#pragma once

#include "support/date_time.h"

namespace quorbin {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual DateTime Now() const = 0;
};

// The machine's local wall clock.
class SystemClock final : public Clock {
 public:
  DateTime Now() const override;
};

}  // namespace quorbin
