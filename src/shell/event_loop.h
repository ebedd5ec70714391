// The agent's event loop as the agent object sees it: timers, pending events,
// sleeping and the request to end. The real loop is Qt's; tests drive a manual one
// with a clock they move themselves.
#pragma once

#include <functional>
#include <memory>

#include "support/event_pump.h"

namespace quorbin {

// A repeating timer. Arming a disarmed timer starts a full interval; arming an
// armed one changes nothing; disarming stops its countdown.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void Arm() = 0;
  virtual void Disarm() = 0;
  virtual bool Armed() const = 0;
};

class EventLoop : public EventPump {
 public:
  // The timer is created armed.
  virtual std::unique_ptr<Timer> CreateTimer(int interval_ms, std::function<void()> on_elapsed) = 0;
  // Ends the loop once the event being delivered returns; a request made before
  // the loop runs makes it end at once.
  virtual void Quit() = 0;
};

}  // namespace quorbin
