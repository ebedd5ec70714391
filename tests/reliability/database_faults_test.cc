// The real agent's passes while its database fails under it, side by side on
// two terminals that share the web API on the debug address:
//  - Firebird: the server is stopped in the middle of the invoice phase and
//    started again seconds later;
//  - SQLite through ODBC: another writer holds the file locked for a while in
//    the middle of the invoice phase, and one row is deleted while its upload
//    is on its way (between the select and its update).
// Each pass that meets a fault logs it and goes on or ends; nothing is marked
// exported that the server did not accept; the next pass (two minutes later, on
// the agent's own timer) uploads what is left. The faults stop and start the
// shared Firebird server, so this runs alone: scripts/reliability runs it, not
// ctest. Each fault is recorded for its table (tests/testing/hostile_case.h).
#include <gtest/gtest.h>
#include <signal.h>

#include <atomic>
#include <thread>

#include "shell/agent.h"
#include "testing/firebird_fixture.h"
#include "testing/hostile_case.h"
#include "testing/shell_command.h"
#include "testing/terminal.h"
#include "testing/upload_fixture.h"

namespace quorbin {
namespace {

using namespace std::chrono_literals;
using testing::Backend;
using testing::RunCommand;
using testing::Terminal;
using testing::WaitFor;

constexpr int kInvoices = 12;
constexpr const char* kDebugOn = "[MAIN]\r\nDEBUG=1\r\n";
// The agent's timer runs the second pass two minutes after start-up.
constexpr auto kSecondPassWait = 200s;

std::size_t CountLines(const Terminal& terminal, std::string_view part) {
  std::size_t count = 0;
  for (const auto& message : terminal.LogMessages()) {
    count += message.find(part) != std::string::npos;
  }
  return count;
}

TEST(DatabaseFaultsTest, PassesMeetingDatabaseFaultsMarkNothingWronglyAndTheNextPassRecovers) {
  if (geteuid() != 0) GTEST_SKIP() << "stopping the Firebird server needs root";
  testing::FirebirdLeftRunning firebird_left_running;

  Terminal firebird(Backend::kFirebird);
  const auto firebird_rows =
      testing::LayOutPendingRows(Backend::kFirebird, firebird.drive_c(), kInvoices, 1, 1);
  firebird.database().Execute(firebird_rows.sql);
  Terminal sqlite(Backend::kOdbcSqlite);
  const auto sqlite_rows =
      testing::LayOutPendingRows(Backend::kOdbcSqlite, sqlite.drive_c(), kInvoices, 2, 100);
  sqlite.database().Execute(sqlite_rows.sql);

  // The SQLite faults come from the API's side, while an upload is on its way:
  // the fourth invoice's row is deleted; at the eighth, a writer locks the file
  // for 8 s.
  std::string deleted_key;
  std::atomic<int> sqlite_invoices{0};
  const std::string database_file = (std::filesystem::current_path() / "VELPDV").string();
  testing::AcceptingApi api(100ms, [&](const std::string& what, int) {
    if (!sqlite_rows.number_of_key.contains(what)) return;
    const int seen = ++sqlite_invoices;
    if (seen == 4) {
      deleted_key = what;
      sqlite.database().Execute("DELETE FROM CUPOM WHERE CHAVE_NFCE = '" + what + "';");
    } else if (seen == 8) {
      RunCommand("(echo 'BEGIN EXCLUSIVE;'; sleep 8; echo 'COMMIT;') | sqlite3 " +
                 testing::ShellQuote(database_file) + " >/dev/null 2>&1 &");
      std::this_thread::sleep_for(300ms);  // the writer holds the lock before the answer
    }
  });

  for (Terminal* terminal : {&firebird, &sqlite}) {
    terminal->InstallPosProgram();
    terminal->WriteSettings(kDebugOn);
    terminal->agent().Start();
  }
  // Firebird goes away after the terminal's third invoice was sent, for 5 s.
  ASSERT_TRUE(WaitFor([&] { return CountLines(firebird, "enviada") >= 3; }, 60s))
      << firebird.agent().StandardError();
  testing::HostileCase stopped("database faults", "Firebird stopped in the middle of a pass");
  ASSERT_EQ(testing::StopFirebird().exit_code, 0);
  std::this_thread::sleep_for(5s);
  ASSERT_EQ(testing::StartFirebird().exit_code, 0);
  testing::HostileCase locked("database faults", "SQLite file locked by another writer");
  testing::HostileCase deleted("database faults", "row deleted between its select and update");

  const bool firebird_done =
      WaitFor([&] { return testing::PendingCount(firebird.database()) == 0; }, kSecondPassWait);
  const bool sqlite_done =
      WaitFor([&] { return testing::PendingCount(sqlite.database()) == 0; }, kSecondPassWait);
  const int firebird_wrong =
      testing::MarkedWithoutAcceptance(firebird.database(), firebird_rows, api);
  const int sqlite_wrong = testing::MarkedWithoutAcceptance(sqlite.database(), sqlite_rows, api);
  bool both_ended = true;
  for (Terminal* terminal : {&firebird, &sqlite}) {
    EXPECT_TRUE(terminal->agent().Running()) << terminal->agent().StandardError();
    terminal->agent().Signal(SIGTERM);
    const auto code = terminal->agent().Wait(60s);
    EXPECT_EQ(code, 0);
    both_ended = both_ended && code == 0;
  }

  EXPECT_TRUE(firebird_done) << testing::PendingCount(firebird.database()) << " rows pending";
  EXPECT_EQ(firebird_wrong, 0);
  stopped.Finish(firebird_done && firebird_wrong == 0 && both_ended);

  EXPECT_TRUE(sqlite_done) << testing::PendingCount(sqlite.database()) << " rows pending";
  EXPECT_EQ(sqlite_wrong, 0);
  EXPECT_FALSE(deleted_key.empty());
  EXPECT_EQ(testing::CountRows(sqlite.database(), "CUPOM"), kInvoices - 1);
  locked.Finish(sqlite_done && sqlite_wrong == 0 && both_ended);
  deleted.Finish(sqlite_done && sqlite_wrong == 0 && !deleted_key.empty() && both_ended);

  for (Terminal* terminal : {&firebird, &sqlite}) {
    for (const auto& message : terminal->LogMessages()) std::printf("  %s\n", message.c_str());
  }
}

}  // namespace
}  // namespace quorbin
