// The Qt loop's timers, on the real clock: a timer must never elapse before its
// interval has passed (Qt's default coarse timers may come up to 5 % early).
#include "shell/qt_event_loop.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <chrono>
#include <thread>

namespace quorbin {
namespace {

// Sleeps until the monotonic clock (the one Qt's timers run on) is `offset_ms`
// past a whole second.
void WaitForMillisecondOfSecond(int offset_ms) {
  using namespace std::chrono;
  for (;;) {
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    if (ms % 1000 == offset_ms) return;
    std::this_thread::sleep_for(microseconds(200));
  }
}

// A coarse timer armed just after a whole second is rounded down to that second
// and elapses that much early: the case that shows an imprecise timer.
TEST(QtEventLoopTest, TimerNeverElapsesBeforeItsInterval) {
  int argc = 1;
  char name[] = "qt_event_loop_test";
  char* argv[] = {name, nullptr};
  QCoreApplication application(argc, argv);
  for (const int offset_ms : {20, 35}) {
    SCOPED_TRACE(offset_ms);
    QtEventLoop loop;
    WaitForMillisecondOfSecond(offset_ms);
    QElapsedTimer clock;
    clock.start();
    qint64 elapsed_ms = -1;
    std::unique_ptr<Timer> timer;
    timer = loop.CreateTimer(1000, [&] {
      elapsed_ms = clock.elapsed();
      timer->Disarm();
      loop.Quit();
    });
    loop.Run();
    EXPECT_GE(elapsed_ms, 1000);
  }
}

}  // namespace
}  // namespace quorbin
