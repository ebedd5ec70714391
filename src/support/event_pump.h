// EventPump: how code inside a pass reaches the agent's event loop. A pass lets
// pending events run between rows and between searched files, and pauses with the
// thread asleep (no events delivered).
#pragma once

#include <cstdint>

namespace quorbin {

class EventPump {
 public:
  virtual ~EventPump() = default;
  // Runs every pending event of the agent's thread; returns when none is pending.
  virtual void RunPending() = 0;
  // Sleeps for the given time; no event is delivered meanwhile.
  virtual void Sleep(int milliseconds) = 0;
};

// Gives free memory back to the system when it last did so at least
// kMemoryReleaseIntervalMs ago, then runs the pending events. A search calls it
// after each of thousands of files: giving memory back costs system calls and
// page faults (on Windows the whole working set is paged out and in again), so it
// is done at most ten times a second while the events still run every time.
// Never fails.
void TrimWorkingSet(EventPump& pump);

inline constexpr std::int64_t kMemoryReleaseIntervalMs = 100;

// Whether memory is given back at `now_ms` (a monotonic time); notes it when so.
// The first call always gives it back.
class MemoryReleaseSchedule {
 public:
  bool Due(std::int64_t now_ms) {
    if (released_ && now_ms - last_ms_ < kMemoryReleaseIntervalMs) return false;
    released_ = true;
    last_ms_ = now_ms;
    return true;
  }

 private:
  bool released_ = false;
  std::int64_t last_ms_ = 0;
};

}  // namespace quorbin
