// The connection chain: which profile opens, what is logged, what is raised, and
// the exact connection strings the driver manager receives.
#include "store/connect_pos_database.h"

#include <gtest/gtest.h>

#include "store/query.h"
#include "support/failure.h"
#include "support/line_file.h"
#include "testing/firebird_fixture.h"
#include "testing/manual_clock.h"
#include "testing/odbc_fixture.h"
#include "testing/pos_schema.h"
#include "testing/postgres_fixture.h"
#include "testing/temp_dir.h"

namespace quorbin {
namespace {

using testing::FirebirdDatabase;
using testing::OdbcSqliteDatabase;

// The emitter's table alone, with its row: all the chain reads.
const std::string kSchema = testing::PosTable("EMITENTE") + std::string(testing::kPosEmitterRow);

const std::string kProfile1Tail =
    "UID=sa;Server=LOCALHOST\\QUORPDV;Database=VELPDV;Trusted_Connection=Yes";
const std::string kProfile2Tail =
    "UID=sa;Server=LOCALHOST\\SQLEXPRESS;Database=VELPDV;Trusted_Connection=Yes";

class ConnectionChainTest : public ::testing::Test {
 protected:
  // The lines of the activity log without their time stamps.
  std::vector<std::string> LoggedMessages() const {
    std::vector<std::string> messages;
    if (!std::filesystem::exists(log_file)) return messages;
    for (const std::string& line : ReadLineFile(log_file).lines) {
      const auto at = line.find("] : ");
      messages.push_back(at == std::string::npos ? line : line.substr(at + 4));
    }
    return messages;
  }

  std::string FirstCnpj(PosConnection& fbconn) {
    RunStatement(fbconn.fbquery(), "SELECT * from EMITENTE");
    return fbconn.fbquery().FieldByName("cnpj").AsString();
  }

  testing::TempDir log_folder;
  std::filesystem::path log_file = log_folder / "log_sync.txt";
  testing::ManualClock clock;
  ActivityLog log{log_file, clock};
};

class EmptySession : public DatabaseSession {
 public:
  ResultSet Run(const std::string&) override { return {}; }
  std::vector<std::string> RowKey(const std::string&) override { return {}; }
  std::int64_t UpdateRow(const RowUpdate&) override { return 0; }
  void Commit() override {}
};

TEST_F(ConnectionChainTest, SecondInstanceOpensWhenTheFirstIsMissing) {
  std::vector<std::string> tried;
  PosConnection fbconn([&](const ConnectionProfile& profile) -> std::unique_ptr<DatabaseSession> {
    tried.push_back(profile.Get("Server"));
    if (profile.Get("Server") != "LOCALHOST\\SQLEXPRESS") throw Failure("no such instance");
    return std::make_unique<EmptySession>();
  });
  ConnectPosDatabase(fbconn, log);
  EXPECT_EQ(tried, (std::vector<std::string>{"LOCALHOST\\QUORPDV", "LOCALHOST\\SQLEXPRESS"}));
  EXPECT_EQ(LoggedMessages(), std::vector<std::string>{"Banco de dados - SQL SERVER"});
  // Opening an open connection changes nothing.
  fbconn.Open();
  EXPECT_EQ(tried.size(), 2u);
}

TEST_F(ConnectionChainTest, SqlServerDriverOpensTheFirstProfileWithTheExactString) {
  OdbcSqliteDatabase odbc("ODBC Driver 17 for SQL Server", kSchema);
  PosConnection fbconn;
  ConnectPosDatabase(fbconn, log);
  EXPECT_EQ(LoggedMessages(), std::vector<std::string>{"Banco de dados - SQL SERVER"});
  EXPECT_EQ(odbc.SentConnectionStrings(),
            std::vector<std::string>{"DRIVER=ODBC Driver 17 for SQL Server;" + kProfile1Tail});
  EXPECT_EQ(FirstCnpj(fbconn), "12.345.678/0001-90");
}

// A real server behind the name: LOCALHOST\QUORPDV reaches the tests'
// PostgreSQL server (the fixture's PGHOSTADDR), which takes UID=sa as its role
// and Database=VELPDV as the database; psqlODBC passes over Trusted_Connection
// and MARS_Connection.
TEST_F(ConnectionChainTest, PostgresServerOpensTheFirstProfileWithTheExactString) {
  testing::PostgresDatabase postgres(kSchema);
  if (IsSkipped()) return;
  PosConnection fbconn;
  ConnectPosDatabase(fbconn, log);
  EXPECT_EQ(LoggedMessages(), std::vector<std::string>{"Banco de dados - SQL SERVER"});
  EXPECT_EQ(postgres.odbc().SentConnectionStrings(),
            std::vector<std::string>{"DRIVER=" + std::string(testing::kPostgresDriverName) + ";" +
                                     kProfile1Tail + ";MARS_Connection=yes"});
  RunStatement(fbconn.fbquery(), "select current_user, current_database(), inet_server_addr()");
  EXPECT_EQ(fbconn.fbquery().Field(0).AsString(), "sa");
  EXPECT_EQ(fbconn.fbquery().Field(1).AsString(), "VELPDV");
  EXPECT_EQ(fbconn.fbquery().Field(2).AsString(), "127.0.0.1");
  EXPECT_EQ(FirstCnpj(fbconn), "12.345.678/0001-90");
}

TEST_F(ConnectionChainTest, DriverNameKeepsItsInstalledSpellingAndGetsMarsWhereDue) {
  const struct {
    const char* registered;
    std::string expected;
  } cases[] = {
      {"SQL Server Native Client 11.0",
       "DRIVER=SQL Server Native Client 11.0;" + kProfile1Tail + ";MARS_Connection=yes"},
      {"sql server", "DRIVER=sql server;" + kProfile1Tail},
  };
  for (const auto& c : cases) {
    OdbcSqliteDatabase odbc(c.registered, kSchema);
    PosConnection fbconn;
    ConnectPosDatabase(fbconn, log);
    EXPECT_EQ(odbc.SentConnectionStrings(), std::vector<std::string>{c.expected});
    EXPECT_EQ(FirstCnpj(fbconn), "12.345.678/0001-90");
  }
}

TEST_F(ConnectionChainTest, FirebirdOpensWhenNoSqlServerDriverIsInstalled) {
  OdbcSqliteDatabase odbc(std::nullopt, "");
  FirebirdDatabase firebird(kSchema);
  PosConnection fbconn;
  ConnectPosDatabase(fbconn, log);
  EXPECT_EQ(LoggedMessages(), std::vector<std::string>{"Banco de dados - Firebird"});
  EXPECT_EQ(odbc.SentConnectionStrings(), (std::vector<std::string>{kProfile1Tail, kProfile2Tail}));
  EXPECT_EQ(fbconn.profile().Get("Password"), "plumtrove");
  EXPECT_EQ(FirstCnpj(fbconn), "12.345.678/0001-90");
}

TEST_F(ConnectionChainTest, NothingReachableRaisesTheFirebirdFailureAndLaterStatementsRetry) {
  OdbcSqliteDatabase odbc(std::nullopt, "");
  testing::TempDir empty_drive;
  PosConnection fbconn;
  {
    testing::ScopedEnvironment drive("QUORBIN_DRIVE_C", empty_drive.path().c_str());
    try {
      ConnectPosDatabase(fbconn, log);
      FAIL() << "the chain opened a connection";
    } catch (const Failure& failure) {
      // The client's message names the file the server could not open.
      EXPECT_NE(std::string(failure.what()).find("VELPDV.FDB"), std::string::npos)
          << failure.what();
    }
  }
  EXPECT_TRUE(LoggedMessages().empty());
  EXPECT_FALSE(fbconn.IsOpen());
  // The connection keeps the Firebird profile: once the database is there, the
  // next statement opens it.
  FirebirdDatabase firebird(kSchema);
  EXPECT_EQ(FirstCnpj(fbconn), "12.345.678/0001-90");
  EXPECT_TRUE(LoggedMessages().empty());
}

}  // namespace
}  // namespace quorbin
