// Process entry: one agent per machine, the application without a window, the
// tray icon when there is a display, the agent object and its start-up, then the
// event loop until "Sair", SIGTERM or SIGINT asks to end. The exit code is 0.
// With --check, --version or --help it prints to standard output instead and
// ends (see check/command_line.h); nothing of the agent starts then.
#include <QApplication>
#include <QSocketNotifier>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "check/command_line.h"
#include "check/terminal_check.h"

#include "platform/single_instance.h"
#include "platform/termination_signals.h"
#include "shell/agent.h"
#include "shell/agent_services.h"
#include "shell/message_box.h"
#include "shell/qt_event_loop.h"
#include "shell/start_up.h"
#include "shell/tray_icon.h"
#include "support/activity_log.h"
#include "support/clock.h"

namespace {

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

std::unique_ptr<QCoreApplication> CreateApplication(int& argc, char** argv, bool graphical) {
  if (!graphical) return std::make_unique<QCoreApplication>(argc, argv);
  // A display that cannot be reached must not abort the agent: fall back to a
  // screenless platform (no tray then).
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
  auto application = std::make_unique<QApplication>(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  return application;
}

// Runs the mode of a command line that asks for no agent; returns the exit code.
int RunCommand(quorbin::RunMode mode) {
  using quorbin::RunMode;
  switch (mode) {
    case RunMode::kCheck: {
      const auto report = quorbin::CheckThisTerminal();
      for (const std::string& line : report.lines) std::cout << line << '\n';
      std::cout.flush();
      return report.uploads_can_proceed ? 0 : 1;
    }
    case RunMode::kVersion:
      std::cout << quorbin::VersionText();
      return 0;
    case RunMode::kHelp:
      std::cout << quorbin::HelpText();
      return 0;
    case RunMode::kAgent:
    case RunMode::kUsageError:
      break;
  }
  std::cerr << quorbin::HelpText();
  return quorbin::kUsageErrorCode;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace quorbin;
  if (const RunMode mode = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
      mode != RunMode::kAgent) {
    return RunCommand(mode);
  }
  if (!platform::AcquireSingleInstance(platform::SingleInstanceName())) return 0;

  const bool graphical = HasDisplay();
  const auto application = CreateApplication(argc, argv, graphical);

  QtEventLoop loop;
  SystemClock clock;
  ActivityLog log(ActivityLog::DefaultPath(), clock);
  AgentServices services(log, clock, loop);
  Agent agent(
      {.loop = loop,
       .log = log,
       .clock = clock,
       .show_message = [graphical](const std::string& text) { ShowMessage(text, graphical); },
       .run_phases = [&services] { services.pass.Run(); }});

  std::unique_ptr<QSocketNotifier> termination;
  if (const int fd = platform::TerminationRequestDescriptor(); fd >= 0) {
    termination = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(termination.get(), &QSocketNotifier::activated, [&agent] {
      platform::AcknowledgeTerminationRequest();
      agent.sairClick();
    });
  }
  std::unique_ptr<TrayIcon> tray;
  if (graphical) tray = std::make_unique<TrayIcon>([&agent] { agent.sairClick(); });

  agent.Start([&] { FormCreate(agent, services.start_up); });
  loop.Run();
  return 0;
}
