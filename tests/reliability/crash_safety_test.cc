// The real agent killed (SIGKILL) at random moments of its passes over pending
// invoices and closings, on the three real database backends, with the web API played
// by a scripted server on the debug address that answers each upload 200 after a
// random delay. After every kill, each row marked exported must have been
// answered 200; after the kills, one run left alone must upload every row still
// pending. A row answered 200 whose mark the kill prevented is sent again by the
// next run: counted, not a loss.
//
// QUORBIN_CRASH_INVOICES and QUORBIN_CRASH_KILLS set the size of the run
// (scripts/reliability runs a longer one); every check reads the rows with a
// plain select and compares them here, so it holds at any size. Kills (one
// group per backend) and rows lost are recorded for its table
// (tests/testing/hostile_case.h). The kills stop early when no row is left
// pending: the table shows how many were made.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <random>

#include "shell/agent.h"
#include "testing/hostile_case.h"
#include "testing/terminal.h"
#include "testing/upload_fixture.h"

namespace quorbin {
namespace {

using namespace std::chrono_literals;
using testing::Backend;
using testing::Terminal;
using testing::WaitFor;

int FromEnvironment(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::atoi(value) : fallback;
}

class CrashSafetyTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    terminal_ = std::make_unique<Terminal>(GetParam());
    if (IsSkipped()) return;  // no PostgreSQL server here
    const int invoices = FromEnvironment("QUORBIN_CRASH_INVOICES", 40);
    // The rows go in after the schema, once the files exist on drive C.
    rows_ = testing::LayOutPendingRows(GetParam(), terminal_->drive_c(), invoices);
    terminal_->database().Execute(rows_.sql);
    terminal_->InstallPosProgram();
    terminal_->WriteSettings("[MAIN]\r\nDEBUG=1\r\n");
  }

  int MarkedWithoutAcceptance() {
    return testing::MarkedWithoutAcceptance(terminal_->database(), rows_, api_);
  }
  int Pending() { return testing::PendingCount(terminal_->database()); }

  // Starts the agent and waits for its pass to begin (the first pass runs at once).
  bool StartPass() {
    const auto passes_before = PassStarts();
    terminal_->agent().Start();
    return WaitFor([&] { return PassStarts() > passes_before; }, 30s);
  }
  std::size_t PassStarts() {
    std::size_t count = 0;
    for (const auto& message : terminal_->LogMessages()) count += message == PassStartMessage();
    return count;
  }

  std::unique_ptr<Terminal> terminal_;
  testing::PendingRows rows_;
  testing::AcceptingApi api_;
};

TEST_P(CrashSafetyTest, KillsNeverMarkAnUnacceptedRowAndTheNextRunUploadsTheRest) {
  const std::string backend = testing::BackendName(GetParam());
  const int kills = FromEnvironment("QUORBIN_CRASH_KILLS", 8);
  std::mt19937 random(11);
  int survived = 0;
  for (int kill = 1; kill <= kills && Pending() > 0; ++kill) {
    testing::HostileCase record("kills on " + backend + " (SIGKILL in a pass)",
                                backend + " kill " + std::to_string(kill));
    ASSERT_TRUE(StartPass()) << terminal_->agent().StandardError();
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 6000));
    terminal_->agent().Signal(SIGKILL);
    EXPECT_EQ(terminal_->agent().Wait(10s), -SIGKILL);
    const int wrongly_marked = MarkedWithoutAcceptance();
    EXPECT_EQ(wrongly_marked, 0) << "after kill " << kill;
    survived += wrongly_marked == 0;
    record.Finish(wrongly_marked == 0);
  }

  // Left alone, the next run uploads everything still pending.
  ASSERT_TRUE(StartPass());
  const int rows = rows_.Count();
  const auto limit = std::chrono::seconds(30 + rows);
  const bool all_exported = WaitFor([&] { return Pending() == 0; }, limit);
  terminal_->agent().Signal(SIGTERM);
  EXPECT_EQ(terminal_->agent().Wait(30s), 0);
  EXPECT_TRUE(all_exported) << Pending() << " rows still pending";
  const int lost = Pending() + MarkedWithoutAcceptance();
  EXPECT_EQ(lost, 0);

  const int resent = api_.Uploads() - rows;
  std::printf("%s: %d kills survived, %d rows lost, %d of %d rows sent again after a kill\n",
              backend.c_str(), survived, lost, resent, rows);
  testing::RecordFigure("rows uploaded", rows);
  testing::RecordFigure("rows lost", lost);
  testing::RecordFigure("rows sent again after a kill", resent);
}

INSTANTIATE_TEST_SUITE_P(Backends, CrashSafetyTest,
                         ::testing::Values(Backend::kOdbcSqlite, Backend::kFirebird,
                                           Backend::kOdbcPostgres),
                         [](const auto& info) { return testing::BackendName(info.param); });

}  // namespace
}  // namespace quorbin
