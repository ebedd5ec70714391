#include "shell/qt_event_loop.h"

#include <QCoreApplication>
#include <QTimer>
#include <chrono>
#include <thread>

namespace quorbin {
namespace {

class QtTimer final : public Timer {
 public:
  QtTimer(int interval_ms, std::function<void()> on_elapsed) {
    // A coarse timer may fire up to 5 % early; the pass interval is a full one.
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(interval_ms);
    QObject::connect(&timer_, &QTimer::timeout, std::move(on_elapsed));
    timer_.start();
  }
  void Arm() override {
    if (!timer_.isActive()) timer_.start();
  }
  void Disarm() override { timer_.stop(); }
  bool Armed() const override { return timer_.isActive(); }

 private:
  QTimer timer_;
};

}  // namespace

std::unique_ptr<Timer> QtEventLoop::CreateTimer(int interval_ms, std::function<void()> on_elapsed) {
  return std::make_unique<QtTimer>(interval_ms, std::move(on_elapsed));
}

void QtEventLoop::RunPending() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventLoop::Sleep(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void QtEventLoop::Quit() {
  quit_requested_ = true;
  if (running_) QCoreApplication::exit(0);
}

void QtEventLoop::Run() {
  if (quit_requested_) return;
  running_ = true;
  QCoreApplication::exec();
  running_ = false;
}

}  // namespace quorbin
