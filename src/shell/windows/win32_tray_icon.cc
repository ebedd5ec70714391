#include "shell/windows/win32_tray_icon.h"

namespace quorbin {
namespace {

constexpr UINT kTrayMessage = WM_APP + 1;
constexpr UINT kSairCommand = 1;
constexpr UINT_PTR kRetryTimer = 0x7A11;
constexpr UINT kRetryMs = 2000;

}  // namespace

Win32TrayIcon::Win32TrayIcon(Win32EventLoop& loop, std::function<void()> on_quit)
    : loop_(loop), on_quit_(std::move(on_quit)) {
  taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");
  data_.cbSize = sizeof data_;
  data_.hWnd = loop_.window();
  data_.uID = 1;
  data_.uFlags = NIF_ICON | NIF_MESSAGE;
  data_.uCallbackMessage = kTrayMessage;
  data_.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  loop_.SetMessageHandler([this](UINT message, WPARAM wparam, LPARAM lparam) {
    return Handle(message, wparam, lparam);
  });
  Add();
}

Win32TrayIcon::~Win32TrayIcon() {
  if (added_) Shell_NotifyIconW(NIM_DELETE, &data_);
}

void Win32TrayIcon::Add() {
  added_ = Shell_NotifyIconW(NIM_ADD, &data_) != 0;
  if (added_) {
    KillTimer(loop_.window(), kRetryTimer);
  } else {
    SetTimer(loop_.window(), kRetryTimer, kRetryMs, nullptr);
  }
}

void Win32TrayIcon::ShowMenu() {
  const HMENU menu = CreatePopupMenu();
  AppendMenuW(menu, MF_STRING, kSairCommand, L"Sair");
  POINT cursor;
  GetCursorPos(&cursor);
  SetForegroundWindow(loop_.window());
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, loop_.window(), nullptr);
  PostMessageW(loop_.window(), WM_NULL, 0, 0);
  DestroyMenu(menu);
}

bool Win32TrayIcon::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == taskbar_created_ || (message == WM_TIMER && wparam == kRetryTimer)) {
    Add();
    return true;
  }
  if (message == kTrayMessage && (lparam == WM_RBUTTONUP || lparam == WM_CONTEXTMENU)) {
    ShowMenu();
    return true;
  }
  // "Sair", and a polite request to close the window (taskkill without /F), end
  // the agent alike.
  if ((message == WM_COMMAND && LOWORD(wparam) == kSairCommand) || message == WM_CLOSE) {
    on_quit_();
    return true;
  }
  return false;
}

}  // namespace quorbin
