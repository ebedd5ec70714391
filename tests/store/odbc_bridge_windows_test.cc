// The SQL Server path of the Windows build through the system's driver manager.
// Under Wine, odbc32.dll hands every call to the host's unixODBC, where the
// SQLite ODBC driver is registered under a SQL Server driver name in the
// configuration that ODBCSYSINI names (tests/store/CMakeLists.txt sets both for
// this test). The agent's connection chain then opens profile 1 on the file
// VELPDV of the working folder, and rows are read, updated and committed. Each
// kind of column is read with a value and as NULL: the driver manager writes the
// length-or-NULL indicator at the width of the build (4 bytes in the 32-bit one).
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

// The agent's connection chain, opened on the bridge before each case.
class OdbcBridgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::getenv("ODBCSYSINI")) GTEST_SKIP() << "no ODBC configuration for this test";
    ConnectPosDatabase(fbconn, log);
  }

  testing::TempDir log_folder;
  testing::ManualClock clock;
  ActivityLog log{log_folder / "log_sync.txt", clock};
  PosConnection fbconn;
};

TEST_F(OdbcBridgeTest, ConnectionChainOpensTheSqlServerProfileAndRowsChange) {
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

TEST_F(OdbcBridgeTest, EachKindOfColumnReadsItsValueAndItsNull) {
  fbconn.Run("DROP TABLE IF EXISTS tipos");
  fbconn.Run(
      "CREATE TABLE tipos (id INTEGER NOT NULL PRIMARY KEY, inteiro INTEGER, "
      "valor NUMERIC(15,2), fator DOUBLE, dia DATE, momento TIMESTAMP, nome VARCHAR(20))");
  fbconn.Run(
      "INSERT INTO tipos VALUES (1, -7, 12.5, 2.5, '2024-03-05', '2024-03-05 13:45:30', 'caixa')");
  fbconn.Run("INSERT INTO tipos VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL)");
  fbconn.Commit();
  Query& fbquery = fbconn.fbquery();
  RunStatement(fbquery, "select * from tipos order by id");
  ASSERT_FALSE(fbquery.AtEnd());
  const auto column = [&](const char* name) -> const ColumnValue& {
    return fbquery.FieldByName(name);
  };
  EXPECT_EQ(column("inteiro").AsInteger(), -7);
  EXPECT_EQ(column("valor").AsInteger(), 12) << "12.5 rounds to even";
  EXPECT_EQ(column("fator").AsInteger(), 2) << "2.5 rounds to even";
  EXPECT_EQ(column("dia").AsDateTime(), DateTime::FromCivil({2024, 3, 5}));
  EXPECT_EQ(column("momento").AsDateTime(), DateTime::FromCivil({2024, 3, 5, 13, 45, 30}));
  EXPECT_EQ(column("nome").AsString(), "caixa");
  for (const char* name : {"inteiro", "valor", "fator", "dia", "momento", "nome"}) {
    EXPECT_FALSE(column(name).IsNull()) << name;
  }
  fbquery.Next();
  ASSERT_FALSE(fbquery.AtEnd());
  for (const char* name : {"inteiro", "valor", "fator", "dia", "momento", "nome"}) {
    EXPECT_TRUE(column(name).IsNull()) << name;
    EXPECT_EQ(column(name).AsString(), "") << name;
  }
  EXPECT_EQ(column("inteiro").AsInteger(), 0);
  EXPECT_EQ(column("dia").AsDateTime(), DateTime{});
}

}  // namespace
}  // namespace quorbin
