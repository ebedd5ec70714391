// The SQL Server path of the Windows build through the system's driver manager.
// Under Wine, odbc32.dll hands every call to the host's unixODBC, where the
// SQLite ODBC driver is registered under a SQL Server driver name in the
// configuration that ODBCSYSINI names (tests/store/CMakeLists.txt sets both for
// this test). The agent's connection chain then opens profile 1 on the file
// VELPDV of the working folder, and rows are read, updated and committed.
#include <gtest/gtest.h>

#include <cstdlib>

#include "store/connect_pos_database.h"
#include "store/pos_connection.h"
#include "store/query.h"
#include "support/line_file.h"
#include "testing/manual_clock.h"
#include "testing/temp_dir.h"

namespace quorbin {
namespace {

TEST(OdbcBridgeTest, ConnectionChainOpensTheSqlServerProfileAndRowsChange) {
  if (!std::getenv("ODBCSYSINI")) GTEST_SKIP() << "no ODBC configuration for this test";
  testing::TempDir log_folder;
  testing::ManualClock clock;
  ActivityLog log(log_folder / "log_sync.txt", clock);
  PosConnection fbconn;
  ConnectPosDatabase(fbconn, log);
  const auto lines = ReadLineFile(log_folder / "log_sync.txt").lines;
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].ends_with("] : Banco de dados - SQL SERVER")) << lines[0];
  EXPECT_EQ(fbconn.profile().Get("Server"), "LOCALHOST\\QUORPDV");

  fbconn.Run("DROP TABLE IF EXISTS cupom");
  fbconn.Run(
      "CREATE TABLE cupom (id INTEGER NOT NULL PRIMARY KEY, web_ex INTEGER, "
      "NFCE_NUM INTEGER, chave_nfce VARCHAR(44))");
  fbconn.Run("INSERT INTO cupom VALUES (1, 0, 1234, 'chave')");
  fbconn.Commit();

  Query& fbquery = fbconn.fbquery();
  RunStatement(fbquery, "select * from cupom where web_ex = 0");
  ASSERT_FALSE(fbquery.AtEnd());
  EXPECT_EQ(fbquery.FieldByName("NFCE_NUM").AsInteger(), 1234);
  EXPECT_EQ(fbquery.FieldByName("chave_nfce").AsString(), "chave");
  MarkExported(fbquery, fbconn);

  RunStatement(fbconn.fbquery2(), "select web_ex from cupom where id = 1");
  EXPECT_EQ(fbconn.fbquery2().Field(0).AsInteger(), 1);
}

}  // namespace
}  // namespace quorbin
