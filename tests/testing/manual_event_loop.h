// An event loop whose time moves only when a test moves it. Timers elapse while
// the test advances the loop (as the real loop delivers them) and when code under
// test pumps pending events; sleeping moves time without delivering anything. The
// loop's time also moves the clock it was given.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "shell/event_loop.h"
#include "testing/manual_clock.h"

namespace quorbin::testing {

class ManualEventLoop final : public EventLoop {
 public:
  explicit ManualEventLoop(ManualClock& clock) : clock_(clock) {}

  std::unique_ptr<Timer> CreateTimer(int interval_ms, std::function<void()> on_elapsed) override;
  void RunPending() override;
  void Sleep(int milliseconds) override;
  void Quit() override { quit_requested_ = true; }

  // Moves time forward, delivering every timer event that falls due on the way.
  void Advance(std::int64_t milliseconds);

  std::int64_t now_ms() const { return now_ms_; }
  bool quit_requested() const { return quit_requested_; }

  struct TimerState {
    int interval_ms;
    std::function<void()> on_elapsed;
    bool armed = true;
    std::int64_t due_ms = 0;
  };

 private:
  void MoveTo(std::int64_t ms);
  TimerState* NextDue(std::int64_t limit_ms);

  ManualClock& clock_;
  std::int64_t now_ms_ = 0;
  bool quit_requested_ = false;
  std::vector<std::shared_ptr<TimerState>> timers_;
};

}  // namespace quorbin::testing
