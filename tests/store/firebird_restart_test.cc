// The Firebird server goes away between two uses of the connection. These tests
// stop and start the shared server, so they run alone (RUN_SERIAL) and always
// leave it running.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "store/connect_pos_database.h"
#include "store/query.h"
#include "support/failure.h"
#include "support/line_file.h"
#include "testing/firebird_fixture.h"
#include "testing/manual_clock.h"
#include "testing/pos_schema.h"
#include "testing/temp_dir.h"

namespace quorbin {
namespace {

using namespace std::chrono_literals;

constexpr const char* kServerPidFile = "/run/firebird3.0/firebird.pid";
const std::string kSchema = testing::PosTable("EMITENTE") + testing::PosTable("CUPOM") +
                            std::string(testing::kPosEmitterRow) +
                            "INSERT INTO CUPOM (NUMERO, WEB_EX) VALUES (1, 0);\n"
                            "INSERT INTO CUPOM (NUMERO, WEB_EX) VALUES (2, 0);\n";

pid_t ServerPid() {
  const std::string text = testing::ReadBytes(kServerPidFile);
  return text.empty() ? 0 : static_cast<pid_t>(std::stol(text));
}

class FirebirdRestartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "stopping the Firebird server needs root";
    ASSERT_TRUE(testing::FirebirdListening()) << "run scripts/start-services";
  }

  std::string FirstCnpj() {
    RunStatement(fbconn.fbquery2(), "select cnpj from emitente");
    return fbconn.fbquery2().Field(0).AsString();
  }

  testing::FirebirdLeftRunning server_left_running;
  testing::FirebirdDatabase database{kSchema};
  testing::TempDir log_folder;
  testing::ManualClock clock;
  ActivityLog log{log_folder / "log_sync.txt", clock};
  PosConnection fbconn;
};

TEST_F(FirebirdRestartTest, ServerKilledAndRestartedByTheGuardianServesTheNextUse) {
  ConnectPosDatabase(fbconn, log);
  Query& fbquery = fbconn.fbquery();
  RunStatement(fbquery, "select * from CUPOM where web_ex = 0");
  ASSERT_EQ(FirstCnpj(), "12.345.678/0001-90");

  const pid_t killed = ServerPid();
  ASSERT_GT(killed, 0);
  ASSERT_EQ(kill(killed, SIGKILL), 0);
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while ((ServerPid() == killed || !testing::FirebirdListening()) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(50ms);
  }
  ASSERT_NE(ServerPid(), killed) << "the guardian did not start the server again";
  ASSERT_TRUE(testing::WaitForFirebird(30s));

  // The query still open from before the restart is closed by the next use;
  // updates work again too.
  EXPECT_EQ(FirstCnpj(), "12.345.678/0001-90");
  RunStatement(fbquery, "select * from CUPOM where web_ex = 0");
  MarkExported(fbquery, fbconn);
  EXPECT_EQ(database.Rows("SELECT COUNT(*) FROM CUPOM WHERE WEB_EX = 1"),
            std::vector<std::string>{"1"});
  // Only the connection line: reconnecting logs nothing.
  EXPECT_EQ(ReadLineFile(log_folder / "log_sync.txt").lines.size(), 1u);
}

// The statement that finds the session dead and cannot open a new one fails as
// a lost connection, so that the phases can end rather than go on without a
// database.
TEST_F(FirebirdRestartTest, UseWhileTheServerIsDownFailsAndTheNextUseAfterItsStartWorks) {
  fbconn.SetProfile(PosConnectionProfiles()[2]);
  ASSERT_EQ(FirstCnpj(), "12.345.678/0001-90");

  const auto stopped = testing::StopFirebird();
  ASSERT_EQ(stopped.exit_code, 0) << stopped.output;
  ASSERT_FALSE(testing::FirebirdListening());
  try {
    FirstCnpj();
    ADD_FAILURE() << "a statement worked without a server";
  } catch (const ConnectionLost& failure) {
    EXPECT_NE(std::string(failure.what()).find("Unable to complete network request"),
              std::string::npos)
        << failure.what();
  } catch (const Failure& failure) {
    ADD_FAILURE() << "not taken for a lost connection: " << failure.what();
  }
  EXPECT_FALSE(fbconn.IsOpen());

  const auto started = testing::StartFirebird();
  ASSERT_EQ(started.exit_code, 0) << started.output;
  EXPECT_EQ(FirstCnpj(), "12.345.678/0001-90");
  EXPECT_TRUE(fbconn.IsOpen());
}

}  // namespace
}  // namespace quorbin
