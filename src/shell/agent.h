// The agent object: it owns the pass timer `tmrsync` and the watchdog
// `check_alive`, runs start-up (given to Start), and runs passes. A pass writes
// its start message, disarms `tmrsync`, runs its phases inside one failure
// boundary (a failure is logged, alone, and ends the pass) and restarts
// `tmrsync`, so the next pass starts one full interval after this one ended, also
// when the watchdog armed the timer while the pass ran. Passes never nest: a pass
// timer event delivered while a pass pumps events is dropped. The watchdog re-arms
// the pass timer after three whole minutes without a log line.
//
// A request to end made during a pass takes effect when the pass has returned.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "shell/event_loop.h"
#include "support/activity_log.h"
#include "support/clock.h"
#include "support/version.h"

namespace quorbin {

constexpr int kPassIntervalMs = 120'000;
constexpr int kWatchdogIntervalMs = 1'000;

struct AgentSetup {
  EventLoop& loop;
  ActivityLog& log;
  const Clock& clock;
  // Shows a failure that escaped an event handler or start-up to the user.
  std::function<void(const std::string&)> show_message;
  // The phases of one pass, in order.
  std::function<void()> run_phases;
};

class Agent {
 public:
  explicit Agent(AgentSetup setup);

  // Runs start-up; a failure that escapes it is shown to the user.
  void Start(const std::function<void()>& form_create);

  void tmrsyncTimer();
  void check_aliveTimer();
  void sairClick() { RequestEnd(); }

  void RequestEnd();
  bool PassRunning() const { return pass_running_; }
  const Timer& tmrsync() const { return *tmrsync_; }

 private:
  std::function<void()> Guarded(void (Agent::*handler)());

  AgentSetup setup_;
  std::unique_ptr<Timer> tmrsync_;
  std::unique_ptr<Timer> check_alive_;
  bool pass_running_ = false;
  bool end_requested_ = false;
};

// "Iniciando processo de sincronia... Versão v" and the version with the regional
// decimal separator.
std::string PassStartMessage();

}  // namespace quorbin
