// The notification-area icon on Windows, with its one-item menu "Sair". When the
// notification area is not there yet, or is created again (the shell restarted),
// the icon is added as soon as it is.
#pragma once

#include <windows.h>
// after windows.h
#include <shellapi.h>

#include <functional>

#include "shell/windows/win32_event_loop.h"

namespace quorbin {

class Win32TrayIcon {
 public:
  Win32TrayIcon(Win32EventLoop& loop, std::function<void()> on_quit);
  ~Win32TrayIcon();

 private:
  bool Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void Add();
  void ShowMenu();

  Win32EventLoop& loop_;
  std::function<void()> on_quit_;
  NOTIFYICONDATAW data_{};
  UINT taskbar_created_ = 0;
  bool added_ = false;
};

}  // namespace quorbin
