// The Windows event loop delivers its timers and its window's messages (the
// tray's) inside the nested loops that other code runs on the agent's thread: a
// message box on screen and the tray's popup menu, not only in Run and
// RunPending. A rescuer thread ends the nested loop after a few seconds should
// the timers never come, so that a failure shows as a failure and not as a hang.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "shell/windows/win32_event_loop.h"

namespace quorbin {
namespace {

constexpr const wchar_t* kBoxTitle = L"win32 event loop test";
constexpr UINT kTrayLikeMessage = WM_APP + 7;
constexpr int kTimerMs = 20;
constexpr int kTicks = 3;

// Calls `rescue` from its own thread after `seconds` unless destroyed before.
class Rescuer {
 public:
  Rescuer(int seconds, std::function<void()> rescue)
      : thread_([this, seconds, rescue = std::move(rescue)] {
          const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
          while (!done_ && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
          }
          if (!done_) rescue();
        }) {}
  ~Rescuer() {
    done_ = true;
    thread_.join();
  }

 private:
  std::atomic<bool> done_{false};
  std::thread thread_;
};

HWND OurBox() {
  return FindWindowW(nullptr, kBoxTitle);
}

void CloseOurBox() {
  if (const HWND box = OurBox()) PostMessageW(box, WM_COMMAND, IDOK, 0);
}

TEST(Win32EventLoopTest, TimersAndTheTraysMessagesRunWhileAMessageBoxIsOpen) {
  Win32EventLoop loop;
  int ticks = 0;
  bool box_open_at_tick = false;
  const auto timer = loop.CreateTimer(kTimerMs, [&] {
    if (++ticks != kTicks) return;
    box_open_at_tick = OurBox() != nullptr;
    PostMessageW(loop.window(), kTrayLikeMessage, 0, 0);
  });
  int tray_messages = 0;
  loop.SetMessageHandler([&](UINT message, WPARAM, LPARAM) {
    if (message != kTrayLikeMessage) return false;
    ++tray_messages;
    CloseOurBox();
    return true;
  });
  {
    const Rescuer rescuer(5, CloseOurBox);
    MessageBoxW(nullptr, L"The timer closes this box.", kBoxTitle, MB_OK);
  }
  EXPECT_GE(ticks, kTicks) << "the timer was not delivered while the box was open";
  EXPECT_TRUE(box_open_at_tick);
  EXPECT_EQ(tray_messages, 1);
}

TEST(Win32EventLoopTest, TimersRunWhileThePopupMenuIsOpen) {
  Win32EventLoop loop;
  int ticks = 0;
  const auto timer = loop.CreateTimer(kTimerMs, [&] {
    if (++ticks == kTicks) EndMenu();
  });
  const HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, 1, L"Sair");
  SetForegroundWindow(loop.window());
  {
    // A cancel request makes the window's default handling end its menu.
    const Rescuer rescuer(5, [&] { PostMessageW(loop.window(), WM_CANCELMODE, 0, 0); });
    TrackPopupMenu(menu, TPM_RIGHTBUTTON, 10, 10, 0, loop.window(), nullptr);
  }
  DestroyMenu(menu);
  EXPECT_GE(ticks, kTicks) << "the timer was not delivered while the menu was open";
}

}  // namespace
}  // namespace quorbin
