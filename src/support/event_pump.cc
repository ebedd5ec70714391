#include "support/event_pump.h"

#include <chrono>

#include "platform/memory.h"

namespace quorbin {

void TrimWorkingSet(EventPump& pump) {
  // The pass runs on the agent's one thread; every pump shares the schedule.
  thread_local MemoryReleaseSchedule schedule;
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  if (schedule.Due(std::chrono::duration_cast<std::chrono::milliseconds>(now).count())) {
    platform::ReleaseFreeMemory();
  }
  pump.RunPending();
}

}  // namespace quorbin
