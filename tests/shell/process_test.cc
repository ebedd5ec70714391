// The real binary, started from a temporary executable directory.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <utility>

#include "testing/agent_process.h"
#include "testing/temp_dir.h"

namespace quorbin {
namespace {

using namespace std::chrono_literals;
using testing::AgentProcess;
using testing::TempDir;
using testing::WaitFor;

// Without any database, start-up shows the Firebird client's failure (on
// standard error without a display) and the agent runs on; its watchdog finds
// the log silent since the zero date-time and writes its line.
TEST(AgentProcessTest, HeadlessAgentWritesItsLinesAndEndsCleanlyOnSigterm) {
  TempDir dir;
  AgentProcess agent(QUORBIN_AGENT_BINARY, dir.path());
  agent.Start();
  ASSERT_TRUE(WaitFor(
      [&] { return agent.LogText().ends_with("2 Minutos sem log, reiniciando processo...\r\n"); },
      10s))
      << agent.LogText() << agent.StandardError();
  EXPECT_FALSE(agent.StandardError().empty());
  agent.Signal(SIGTERM);
  EXPECT_EQ(agent.Wait(10s), 0);
}

// A display that names no X server, and a Wayland session without an X server,
// are no display: start-up's failure must reach standard error (not a dialog
// nobody sees), and the agent must still end on SIGTERM.
TEST(AgentProcessTest, UnusableDisplayRunsHeadless) {
  TempDir reference_dir;
  AgentProcess reference(QUORBIN_AGENT_BINARY, reference_dir.path());
  reference.Start();
  ASSERT_TRUE(WaitFor([&] { return !reference.StandardError().empty(); }, 10s));
  reference.Signal(SIGTERM);
  ASSERT_EQ(reference.Wait(10s), 0);
  // The failure names the database file, below the agent's own folder.
  const auto failure_in = [&](const TempDir& dir) {
    std::string text = reference.StandardError();
    const std::string folder = reference_dir.path().string();
    for (auto at = text.find(folder); at != std::string::npos; at = text.find(folder, at)) {
      text.replace(at, folder.size(), dir.path().string());
      at += dir.path().string().size();
    }
    return text;
  };

  const std::pair<const char*, const char*> displays[] = {
      {"DISPLAY", ":4093"}, {"WAYLAND_DISPLAY", "quorbin-test-no-compositor"}};
  for (const auto& [variable, value] : displays) {
    SCOPED_TRACE(std::string(variable) + "=" + value);
    TempDir dir;
    AgentProcess agent(QUORBIN_AGENT_BINARY, dir.path());
    agent.SetEnv(variable, value);
    agent.Start();
    const std::string failure = failure_in(dir);
    EXPECT_TRUE(
        WaitFor([&] { return agent.StandardError().find(failure) != std::string::npos; }, 10s))
        << agent.StandardError();
    agent.Signal(SIGTERM);
    EXPECT_EQ(agent.Wait(10s), 0);
  }
}

TEST(AgentProcessTest, SigintActsLikeSair) {
  TempDir dir;
  AgentProcess agent(QUORBIN_AGENT_BINARY, dir.path());
  agent.Start();
  ASSERT_TRUE(WaitFor([&] { return !agent.LogText().empty(); }, 30s));
  agent.Signal(SIGINT);
  EXPECT_EQ(agent.Wait(10s), 0);
}

TEST(AgentProcessTest, SecondInstanceEndsAtOnceWithoutWriting) {
  TempDir first_dir;
  TempDir second_dir;
  AgentProcess first(QUORBIN_AGENT_BINARY, first_dir.path());
  AgentProcess second(QUORBIN_AGENT_BINARY, second_dir.path());
  second.SetEnv("QUORBIN_LOCK_NAME", "test-shared-" + first_dir.path().filename().string());
  first.SetEnv("QUORBIN_LOCK_NAME", "test-shared-" + first_dir.path().filename().string());
  first.Start();
  ASSERT_TRUE(WaitFor([&] { return !first.LogText().empty(); }, 10s));

  second.Start();
  EXPECT_EQ(second.Wait(1s), 0);
  EXPECT_FALSE(std::filesystem::exists(second_dir / "log_sync.txt"));
  EXPECT_TRUE(first.Running());

  // The lock of a killed agent is free again.
  first.Signal(SIGKILL);
  first.Wait(5s);
  second.Start();
  EXPECT_TRUE(WaitFor([&] { return !second.LogText().empty(); }, 10s));
  second.Signal(SIGTERM);
  EXPECT_EQ(second.Wait(10s), 0);
}

}  // namespace
}  // namespace quorbin
