// The connection chain of the Windows build on a machine with neither a SQL Server
// ODBC driver nor the Firebird client (Wine as the tests run it): both SQL Server
// profiles fail at once, and the Firebird failure that reaches start-up names each
// client library tried.
#include <gtest/gtest.h>

#include <cstdlib>

#include "store/connect_pos_database.h"
#include "store/pos_connection.h"
#include "support/failure.h"
#include "testing/manual_clock.h"
#include "testing/temp_dir.h"
#include "testing/wine.h"

namespace quorbin {
namespace {

TEST(ConnectionChainWindowsTest, NothingReachableRaisesTheFirebirdLoadFailure) {
  if (!testing::RunningUnderWine()) GTEST_SKIP() << "a real terminal has its database";
  testing::TempDir log_folder;
  testing::ManualClock clock;
  ActivityLog log(log_folder / "log_sync.txt", clock);
  PosConnection fbconn;
  try {
    ConnectPosDatabase(fbconn, log);
    FAIL() << "the chain opened a connection";
  } catch (const Failure& failure) {
    const std::string message = failure.what();
    EXPECT_NE(message.find("fbclient.dll"), std::string::npos) << message;
    EXPECT_LT(message.find("fbclient.dll"), message.find("fbembed.dll")) << message;
  }
  EXPECT_FALSE(fbconn.IsOpen());
  EXPECT_EQ(fbconn.profile().Get("DriverID"), "FB");
  EXPECT_FALSE(std::filesystem::exists(log_folder / "log_sync.txt")) << "nothing logged";
}

}  // namespace
}  // namespace quorbin
