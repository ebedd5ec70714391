#include "shell/agent.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "support/failure.h"
#include "support/line_file.h"
#include "testing/manual_event_loop.h"
#include "testing/temp_dir.h"

namespace quorbin {
namespace {

using testing::ManualClock;
using testing::ManualEventLoop;
using testing::TempDir;

constexpr const char* kWatchdogLine = "2 Minutos sem log, reiniciando processo...";

class AgentTest : public ::testing::Test {
 protected:
  Agent& MakeAgent() {
    agent_ = std::make_unique<Agent>(
        AgentSetup{.loop = loop,
                   .log = log,
                   .clock = clock,
                   .show_message = [this](const std::string& text) { messages.push_back(text); },
                   .run_phases = [this] { phases(); }});
    return *agent_;
  }

  // The messages of the log, without their stamps.
  std::vector<std::string> Lines() {
    std::vector<std::string> messages_only;
    for (const auto& line : ReadLineFile(dir / "log_sync.txt").lines) {
      messages_only.push_back(line.substr(line.find("] : ") + 4));
    }
    return messages_only;
  }

  int PassCount() {
    int count = 0;
    for (const auto& line : Lines()) count += line == PassStartMessage();
    return count;
  }

  TempDir dir;
  ManualClock clock;
  ManualEventLoop loop{clock};
  ActivityLog log{dir / "log_sync.txt", clock};
  std::function<void()> phases = [] {};
  std::vector<std::string> messages;
  std::unique_ptr<Agent> agent_;

  // The start-up of a terminal whose login succeeded: the first pass at once.
  static std::function<void()> first_pass(Agent& agent) {
    return [&agent] { agent.tmrsyncTimer(); };
  }
};

TEST_F(AgentTest, PassWritesItsStartMessageAndRearmsOneIntervalAfterItsEnd) {
  phases = [this] { loop.Sleep(50'000); };
  Agent& agent = MakeAgent();
  agent.Start(first_pass(agent));
  EXPECT_EQ(Lines(),
            std::vector<std::string>{"Iniciando processo de sincronia... Vers\xC3\xA3o v1,2"});
  EXPECT_TRUE(agent.tmrsync().Armed());
  loop.Advance(119'999);
  EXPECT_EQ(PassCount(), 1);
  loop.Advance(1);
  EXPECT_EQ(PassCount(), 2);
}

TEST_F(AgentTest, FailedPassLogsTheMessageAloneAndTheNextPassComesAsUsual) {
  phases = [] { throw Failure("Unable to complete network request to host \"localhost\"."); };
  Agent& agent = MakeAgent();
  agent.Start(first_pass(agent));
  EXPECT_EQ(Lines(),
            (std::vector<std::string>{
                PassStartMessage(), "Unable to complete network request to host \"localhost\"."}));
  EXPECT_TRUE(agent.tmrsync().Armed());
  loop.Advance(120'000);
  EXPECT_EQ(PassCount(), 2);
  EXPECT_TRUE(messages.empty());
}

TEST_F(AgentTest, WatchdogFiresAtThreeWholeMinutesOfSilence) {
  Agent& agent = MakeAgent();
  log.SetLastLogTime(clock.Now());
  clock.Advance(179'999);
  agent.check_aliveTimer();
  EXPECT_FALSE(std::filesystem::exists(dir / "log_sync.txt"));
  clock.Advance(1);
  agent.check_aliveTimer();
  agent.check_aliveTimer();
  EXPECT_EQ(Lines(), std::vector<std::string>{kWatchdogLine});
}

TEST_F(AgentTest, WatchdogTakesTheClockSetBackAsSilenceOnce) {
  Agent& agent = MakeAgent();
  log.SetLastLogTime(clock.Now());
  clock.Advance(-180'000);
  agent.check_aliveTimer();
  agent.check_aliveTimer();
  EXPECT_EQ(Lines(), std::vector<std::string>{kWatchdogLine});
}

TEST_F(AgentTest, WatchdogRearmsADisarmedPassTimer) {
  // A pass that never returns to the loop by itself: it sleeps and then pumps.
  phases = [this] {
    loop.Sleep(200'000);
    loop.RunPending();
  };
  Agent& agent = MakeAgent();
  agent.Start(first_pass(agent));
  // The watchdog found the log silent inside the pass and armed the timer.
  EXPECT_EQ(Lines().back(), kWatchdogLine);
  EXPECT_TRUE(agent.tmrsync().Armed());
}

TEST_F(AgentTest, PassTimerElapsingInsideAPassStartsNoNestedPass) {
  int depth = 0;
  int deepest = 0;
  phases = [&] {
    ++depth;
    deepest = std::max(deepest, depth);
    // Ten silent minutes inside one pass, pumping events every second.
    for (int second = 0; second < 600; ++second) {
      loop.Sleep(1000);
      loop.RunPending();
    }
    --depth;
  };
  Agent& agent = MakeAgent();
  agent.Start(first_pass(agent));
  EXPECT_EQ(deepest, 1);
  EXPECT_EQ(PassCount(), 1);
  const auto lines = Lines();
  EXPECT_GE(std::count(lines.begin(), lines.end(), kWatchdogLine), 3);
  EXPECT_TRUE(agent.tmrsync().Armed());
  loop.Advance(120'000);
  EXPECT_EQ(PassCount(), 2);
  EXPECT_EQ(deepest, 1);
}

// A pass that outlasts the watchdog: the watchdog arms the pass timer inside it,
// and the next pass must still wait a full interval after this one ends.
TEST_F(AgentTest, NextPassWaitsAFullIntervalAfterAPassTheWatchdogRearmed) {
  std::vector<std::int64_t> starts;
  std::vector<std::int64_t> ends;
  phases = [&] {
    starts.push_back(loop.now_ms());
    if (starts.size() == 1) {
      // Four silent minutes, pumping events every second, then a last stretch
      // without events.
      for (int second = 0; second < 240; ++second) {
        loop.Sleep(1000);
        loop.RunPending();
      }
      loop.Sleep(100'000);
    }
    ends.push_back(loop.now_ms());
  };
  Agent& agent = MakeAgent();
  agent.Start(first_pass(agent));
  ASSERT_EQ(ends.size(), 1u);
  loop.Advance(119'999);
  EXPECT_EQ(starts.size(), 1u) << "a pass came " << starts.back() - ends[0] << " ms after the last";
  loop.Advance(1);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_EQ(starts[1] - ends[0], kPassIntervalMs);
}

TEST_F(AgentTest, EndRequestedDuringAPassTakesEffectAfterIt) {
  bool quit_seen_inside = false;
  phases = [&] {
    agent_->sairClick();
    loop.RunPending();
    quit_seen_inside = loop.quit_requested();
  };
  Agent& agent = MakeAgent();
  agent.Start(first_pass(agent));
  EXPECT_FALSE(quit_seen_inside);
  EXPECT_TRUE(loop.quit_requested());
}

}  // namespace
}  // namespace quorbin
