// Process entry on Windows: the named mutex "QuorbinEC", COM on this (the
// user-interface) thread as a single-threaded apartment for WMI and the XML DOM
// parser, the hidden window with its message loop, the tray icon, the agent
// object and its start-up, then the loop until "Sair". The exit code is 0.
// With --check, --version or --help nothing of the agent starts (see
// command_mode_windows.h).
#include <windows.h>

#include <string>
#include <vector>

#include "platform/single_instance.h"
#include "platform/windows/com_windows.h"
#include "platform/windows/wide_text_windows.h"
#include "shell/agent.h"
#include "shell/agent_services.h"
#include "shell/start_up.h"
#include "shell/windows/command_mode_windows.h"
#include "shell/windows/win32_event_loop.h"
#include "shell/windows/win32_tray_icon.h"
#include "support/activity_log.h"
#include "support/clock.h"

int main(int argc, char** argv) {
  using namespace quorbin;
  if (const RunMode mode = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
      mode != RunMode::kAgent) {
    return RunCommandMode(mode);
  }
  if (!platform::AcquireSingleInstance(platform::SingleInstanceName())) return 0;
  platform::EnsureComApartment();

  Win32EventLoop loop;
  SystemClock clock;
  ActivityLog log(ActivityLog::DefaultPath(), clock);
  AgentServices services(log, clock, loop);
  Agent agent({.loop = loop,
               .log = log,
               .clock = clock,
               .show_message =
                   [](const std::string& text) {
                     MessageBoxW(nullptr, platform::WideFromUtf8(text).c_str(), L"quorbin_sync",
                                 MB_OK);
                   },
               .run_phases = [&services] { services.pass.Run(); }});
  Win32TrayIcon tray(loop, [&agent] { agent.sairClick(); });

  agent.Start([&] { FormCreate(agent, services.start_up); });
  loop.Run();
  return 0;
}
