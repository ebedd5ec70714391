// The agent's event loop on Windows: a hidden window (no taskbar button) whose
// message queue delivers the window timers, the tray icon's messages and the
// menu; the loop ends with WM_QUIT. The window procedure itself runs the timers
// and the tray, so any loop that dispatches the thread's messages delivers them:
// a message box on screen and the tray menu as well as Run and RunPending.
#pragma once

#include <windows.h>

#include <functional>
#include <map>

#include "shell/event_loop.h"

namespace quorbin {

class Win32EventLoop final : public EventLoop {
 public:
  Win32EventLoop();
  ~Win32EventLoop() override;

  std::unique_ptr<Timer> CreateTimer(int interval_ms, std::function<void()> on_elapsed) override;
  void RunPending() override;
  void Sleep(int milliseconds) override;
  void Quit() override;

  void Run();
  HWND window() const { return window_; }

  // Messages of the window that other parts of the shell handle (the tray icon).
  using MessageHandler = std::function<bool(UINT message, WPARAM, LPARAM)>;
  void SetMessageHandler(MessageHandler handler) { message_handler_ = std::move(handler); }

 private:
  static LRESULT CALLBACK WindowProcedure(HWND, UINT, WPARAM, LPARAM);
  // Runs the timer `id` of CreateTimer; false when it is none of them.
  bool DeliverTimer(UINT_PTR id);
  void Dispatch(const MSG& message);

  HWND window_ = nullptr;
  std::map<UINT_PTR, std::function<void()>> timers_;
  UINT_PTR next_timer_id_ = 1;
  MessageHandler message_handler_;
  bool running_ = false;
  bool quit_requested_ = false;
};

}  // namespace quorbin
