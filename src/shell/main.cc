// Process entry: one agent per machine, the application without a window, the
// tray icon when there is a usable display, the agent object and its start-up,
// then the event loop until "Sair", SIGTERM or SIGINT asks to end (closing a
// message box still open). The exit code is 0. With --check, --version or
// --help it prints to standard output instead and ends (see
// check/command_line.h); nothing of the agent starts then.
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

// The application, and whether it has a screen: only an X display that answers
// counts (a Wayland session is used through its X server, XWayland). Without one
// the agent runs headless, so that no message waits in a dialog nobody can see.
std::unique_ptr<QCoreApplication> CreateApplication(int& argc, char** argv, bool& graphical) {
  graphical = false;
  if (qEnvironmentVariableIsEmpty("DISPLAY")) return std::make_unique<QCoreApplication>(argc, argv);
  // A display that cannot be reached must not abort the agent: Qt then falls back
  // to a screenless platform, which counts as no display.
  qputenv("QT_QPA_PLATFORM", "xcb;offscreen");
  auto application = std::make_unique<QApplication>(argc, argv);
  QApplication::setQuitOnLastWindowClosed(false);
  graphical = QGuiApplication::platformName() == QStringLiteral("xcb");
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

  bool graphical = false;
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

  // "Sair", SIGTERM and SIGINT: a message box still open is closed, so that the
  // request takes effect as soon as a running pass has returned.
  const auto end = [&agent] {
    agent.sairClick();
    CloseOpenMessages();
  };
  std::unique_ptr<QSocketNotifier> termination;
  if (const int fd = platform::TerminationRequestDescriptor(); fd >= 0) {
    termination = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(termination.get(), &QSocketNotifier::activated, [end] {
      platform::AcknowledgeTerminationRequest();
      end();
    });
  }
  std::unique_ptr<TrayIcon> tray;
  if (graphical) tray = std::make_unique<TrayIcon>(end);

  agent.Start([&] { FormCreate(agent, services.start_up); });
  loop.Run();
  return 0;
}
