// EventPump: how code inside a pass reaches the agent's event loop. A pass lets
// pending events run between rows and between searched files, and pauses with the
// thread asleep (no events delivered).
#pragma once

namespace quorbin {

class EventPump {
 public:
  virtual ~EventPump() = default;
  // Runs every pending event of the agent's thread; returns when none is pending.
  virtual void RunPending() = 0;
  // Sleeps for the given time; no event is delivered meanwhile.
  virtual void Sleep(int milliseconds) = 0;
};

// Gives free memory back to the system, then runs the pending events. Never fails.
void TrimWorkingSet(EventPump& pump);

}  // namespace quorbin
