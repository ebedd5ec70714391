#include "support/event_pump.h"

#include <gtest/gtest.h>

namespace quorbin {
namespace {

TEST(MemoryReleaseSchedule, GivesMemoryBackAtMostOncePerInterval) {
  MemoryReleaseSchedule schedule;
  struct Case {
    std::int64_t now_ms;
    bool due;
  };
  const Case cases[] = {
      {5'000, true},   // the first call
      {5'000, false},  // at once again
      {5'099, false},  // just inside the interval
      {5'100, true},   // a full interval after the last release
      {5'150, false},  // counted from the last release, not the last call
      {9'000, true},
  };
  for (const Case& c : cases) EXPECT_EQ(schedule.Due(c.now_ms), c.due) << c.now_ms;
}

class CountingPump final : public EventPump {
 public:
  void RunPending() override { ++runs; }
  void Sleep(int) override {}
  int runs = 0;
};

TEST(TrimWorkingSet, RunsThePendingEventsEveryTime) {
  CountingPump pump;
  for (int i = 0; i < 1000; ++i) TrimWorkingSet(pump);
  EXPECT_EQ(pump.runs, 1000);
}

}  // namespace
}  // namespace quorbin
