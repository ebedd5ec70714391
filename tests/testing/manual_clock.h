// A clock that tests set and move by hand.
#pragma once

#include <cstdint>

#include "support/clock.h"

namespace quorbin::testing {

class ManualClock final : public Clock {
 public:
  explicit ManualClock(DateTime start = DateTime::FromCivil({2026, 3, 14, 9, 26, 53, 0}))
      : now_(start) {}
  DateTime Now() const override { return now_; }
  void Set(DateTime moment) { now_ = moment; }
  void Advance(std::int64_t milliseconds) { now_.ms += milliseconds; }

 private:
  DateTime now_;
};

}  // namespace quorbin::testing
