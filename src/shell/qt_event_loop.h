// The agent's event loop on Qt: timers are QTimers, pending events are Qt's, and
// the loop is the application's. Works with QCoreApplication alone (headless).
#pragma once

#include "shell/event_loop.h"

namespace quorbin {

class QtEventLoop final : public EventLoop {
 public:
  std::unique_ptr<Timer> CreateTimer(int interval_ms, std::function<void()> on_elapsed) override;
  void RunPending() override;
  void Sleep(int milliseconds) override;
  void Quit() override;

  // Runs the application's loop until Quit.
  void Run();

 private:
  bool running_ = false;
  bool quit_requested_ = false;
};

}  // namespace quorbin
