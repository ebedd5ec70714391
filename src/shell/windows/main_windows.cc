// Process entry on Windows: the named mutex "QuorbinEC", COM on this (the
// user-interface) thread as a single-threaded apartment for WMI and the XML DOM
// parser, the hidden window with its message loop, the tray icon, the agent
// object and its start-up, then the loop until "Sair". The exit code is 0.
//
// The start-up wiring (connection chain, login, passes) follows that of main.cc.
#include <windows.h>

#include <string>

#include "platform/executable.h"
#include "platform/single_instance.h"
#include "platform/windows/com_windows.h"
#include "platform/windows/wide_text_windows.h"
#include "shell/agent.h"
#include "shell/windows/win32_event_loop.h"
#include "shell/windows/win32_tray_icon.h"
#include "support/activity_log.h"
#include "support/clock.h"
#include "support/self_update.h"

int main() {
  using namespace quorbin;
  if (!platform::AcquireSingleInstance(platform::SingleInstanceName())) return 0;
  platform::EnsureComApartment();

  Win32EventLoop loop;
  SystemClock clock;
  ActivityLog log(ActivityLog::DefaultPath(), clock);
  Agent agent({.loop = loop,
               .log = log,
               .clock = clock,
               .show_message =
                   [](const std::string& text) {
                     MessageBoxW(nullptr, platform::WideFromUtf8(text).c_str(), L"quorbin_sync",
                                 MB_OK);
                   },
               .run_phases = [] {}});
  Win32TrayIcon tray(loop, [&agent] { agent.sairClick(); });

  // Until the database and API clients run on Windows: the self-update swap and
  // the first pass only.
  agent.Start([&] {
    log.SetLastLogTime(clock.Now());
    if (ApplyPendingUpdate(platform::ExecutablePath())) agent.RequestEnd();
    agent.tmrsyncTimer();
  });
  loop.Run();
  return 0;
}
