#include "testing/manual_event_loop.h"

namespace quorbin::testing {
namespace {

class ManualTimer final : public Timer {
 public:
  ManualTimer(std::shared_ptr<ManualEventLoop::TimerState> state, const ManualEventLoop& loop)
      : state_(std::move(state)), loop_(loop) {}
  ~ManualTimer() override { state_->armed = false; }

  void Arm() override {
    if (state_->armed) return;
    state_->armed = true;
    state_->due_ms = loop_.now_ms() + state_->interval_ms;
  }
  void Disarm() override { state_->armed = false; }
  bool Armed() const override { return state_->armed; }

 private:
  std::shared_ptr<ManualEventLoop::TimerState> state_;
  const ManualEventLoop& loop_;
};

}  // namespace

std::unique_ptr<Timer> ManualEventLoop::CreateTimer(int interval_ms,
                                                    std::function<void()> on_elapsed) {
  auto state = std::make_shared<TimerState>(
      TimerState{interval_ms, std::move(on_elapsed), true, now_ms_ + interval_ms});
  timers_.push_back(state);
  return std::make_unique<ManualTimer>(state, *this);
}

ManualEventLoop::TimerState* ManualEventLoop::NextDue(std::int64_t limit_ms) {
  TimerState* next = nullptr;
  for (const auto& timer : timers_) {
    if (timer->armed && timer->due_ms <= limit_ms && (!next || timer->due_ms < next->due_ms)) {
      next = timer.get();
    }
  }
  return next;
}

void ManualEventLoop::MoveTo(std::int64_t ms) {
  clock_.Advance(ms - now_ms_);
  now_ms_ = ms;
}

// An overdue timer elapses once and then counts a full interval from now.
void ManualEventLoop::RunPending() {
  std::vector<TimerState*> due;
  for (const auto& timer : timers_) {
    if (timer->armed && timer->due_ms <= now_ms_) due.push_back(timer.get());
  }
  for (TimerState* timer : due) {
    if (!timer->armed || timer->due_ms > now_ms_) continue;
    timer->due_ms = now_ms_ + timer->interval_ms;
    timer->on_elapsed();
  }
}

void ManualEventLoop::Sleep(int milliseconds) {
  MoveTo(now_ms_ + milliseconds);
}

void ManualEventLoop::Advance(std::int64_t milliseconds) {
  const std::int64_t target = now_ms_ + milliseconds;
  while (TimerState* timer = NextDue(target)) {
    if (timer->due_ms > now_ms_) MoveTo(timer->due_ms);
    timer->due_ms = now_ms_ + timer->interval_ms;
    timer->on_elapsed();
  }
  if (target > now_ms_) MoveTo(target);
}

}  // namespace quorbin::testing
