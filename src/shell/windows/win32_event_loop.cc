#include "shell/windows/win32_event_loop.h"

namespace quorbin {
namespace {

constexpr const wchar_t* kWindowClass = L"TfrmPrincipal";

class Win32Timer final : public Timer {
 public:
  Win32Timer(HWND window, UINT_PTR id, int interval_ms)
      : window_(window), id_(id), interval_ms_(interval_ms) {
    Arm();
  }
  ~Win32Timer() override { Disarm(); }

  void Arm() override {
    if (armed_) return;
    armed_ = SetTimer(window_, id_, static_cast<UINT>(interval_ms_), nullptr) != 0;
  }
  void Disarm() override {
    if (!armed_) return;
    KillTimer(window_, id_);
    armed_ = false;
  }
  bool Armed() const override { return armed_; }

 private:
  HWND window_;
  UINT_PTR id_;
  int interval_ms_;
  bool armed_ = false;
};

}  // namespace

Win32EventLoop::Win32EventLoop() {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &Win32EventLoop::WindowProcedure;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = kWindowClass;
  RegisterClassW(&window_class);
  // A tool window that is never shown has no taskbar button.
  window_ = CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"quorbin_sync",
                            WS_POPUP | WS_CAPTION | WS_SYSMENU, 0, 0, 497, 125, nullptr, nullptr,
                            window_class.hInstance, nullptr);
  // Without a desktop (a service, or Wine with no display) only a message-only
  // window can be created; timers and messages still work, the tray does not.
  if (!window_) {
    window_ = CreateWindowExW(0, kWindowClass, L"quorbin_sync", 0, 0, 0, 0, 0, HWND_MESSAGE,
                              nullptr, window_class.hInstance, nullptr);
  }
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32EventLoop::~Win32EventLoop() {
  if (window_) DestroyWindow(window_);
}

LRESULT CALLBACK Win32EventLoop::WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                                 LPARAM lparam) {
  auto* loop = reinterpret_cast<Win32EventLoop*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (loop) {
    // Timers are delivered here, not by the agent's own loop, so that every loop
    // that dispatches the window's messages delivers them: a message box's, the
    // tray menu's, a pass's pumping.
    if (message == WM_TIMER && loop->DeliverTimer(wparam)) return 0;
    if (loop->message_handler_ && loop->message_handler_(message, wparam, lparam)) return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

bool Win32EventLoop::DeliverTimer(UINT_PTR id) {
  const auto timer = timers_.find(id);
  if (timer == timers_.end()) return false;
  timer->second();
  return true;
}

std::unique_ptr<Timer> Win32EventLoop::CreateTimer(int interval_ms,
                                                   std::function<void()> on_elapsed) {
  const UINT_PTR id = next_timer_id_++;
  timers_[id] = std::move(on_elapsed);
  return std::make_unique<Win32Timer>(window_, id, interval_ms);
}

void Win32EventLoop::Dispatch(const MSG& message) {
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

void Win32EventLoop::RunPending() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that owns it
      return;
    }
    Dispatch(message);
  }
}

void Win32EventLoop::Sleep(int milliseconds) {
  ::Sleep(static_cast<DWORD>(milliseconds));
}

void Win32EventLoop::Quit() {
  quit_requested_ = true;
  if (running_) PostQuitMessage(0);
}

void Win32EventLoop::Run() {
  if (quit_requested_) return;
  running_ = true;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) Dispatch(message);
  running_ = false;
}

}  // namespace quorbin
