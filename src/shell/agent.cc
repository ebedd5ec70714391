#include "shell/agent.h"

#include <cstdlib>
#include <exception>

#include "platform/local_time.h"

namespace quorbin {
namespace {

constexpr std::int64_t kMsPerMinute = 60'000;

}  // namespace

std::string PassStartMessage() {
  std::string version = kSyncVersion;
  const auto point = version.find('.');
  version.replace(point, 1, platform::CurrentRegionalSettings().decimal_separator);
  return "Iniciando processo de sincronia... Vers\xC3\xA3o v" + version;
}

Agent::Agent(AgentSetup setup) : setup_(std::move(setup)) {
  tmrsync_ = setup_.loop.CreateTimer(kPassIntervalMs, Guarded(&Agent::tmrsyncTimer));
  check_alive_ = setup_.loop.CreateTimer(kWatchdogIntervalMs, Guarded(&Agent::check_aliveTimer));
}

std::function<void()> Agent::Guarded(void (Agent::*handler)()) {
  return [this, handler] {
    try {
      (this->*handler)();
    } catch (const std::exception& failure) {
      setup_.show_message(failure.what());
    }
  };
}

void Agent::Start(const std::function<void()>& form_create) {
  try {
    form_create();
  } catch (const std::exception& failure) {
    setup_.show_message(failure.what());
  }
}

void Agent::tmrsyncTimer() {
  if (pass_running_) return;
  pass_running_ = true;
  setup_.log.WriteLog(PassStartMessage());
  tmrsync_->Disarm();
  try {
    setup_.run_phases();
  } catch (const std::exception& failure) {
    setup_.log.WriteLog(failure.what());
  }
  // The watchdog may have armed the timer during the pass: the interval counts
  // from now in every case.
  tmrsync_->Disarm();
  tmrsync_->Arm();
  pass_running_ = false;
  if (end_requested_) setup_.loop.Quit();
}

void Agent::check_aliveTimer() {
  const std::int64_t silence = std::llabs(setup_.clock.Now().ms - setup_.log.LastLogTime().ms);
  if (silence / kMsPerMinute <= 2) return;
  setup_.log.WriteLog("2 Minutos sem log, reiniciando processo...");
  tmrsync_->Arm();
}

void Agent::RequestEnd() {
  end_requested_ = true;
  if (!pass_running_) setup_.loop.Quit();
}

}  // namespace quorbin
