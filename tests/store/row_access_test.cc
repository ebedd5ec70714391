// Queries and row updates against the three real backends: iteration while rows are
// marked exported, the second query, the send error text, and failed posts.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <set>

#include "store/firebird_session.h"
#include "store/query.h"
#include "support/failure.h"
#include "testing/failure_message.h"
#include "testing/pos_schema.h"
#include "testing/test_databases.h"

namespace quorbin {
namespace {

using testing::Backend;

// The point-of-sale tables, and one without a key.
std::string Schema() {
  return testing::PosTables() + "CREATE TABLE SEM_CHAVE (CODIGO INTEGER, WEB_EX INTEGER);\n" +
         std::string(testing::kPosEmitterRow);
}

// CUPOM's columns that these tests fill.
constexpr const char* kInsertCupom =
    "INSERT INTO CUPOM (NUMERO, NFCE_NUM, CHAVE_NFCE, OFFLINE, CANCELADO, WEB_EX) VALUES ";

std::string PendingCupom(int number) {
  return std::string(kInsertCupom) + "(" + std::to_string(number) + ", " +
         std::to_string(1000 + number) + ", 'chave" + std::to_string(number) + "', 0, 0, 0)";
}

class RowAccessTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    database = testing::CreateTestDatabase(GetParam(), Schema());
    if (IsSkipped()) return;  // no PostgreSQL server here
    connection = database->Connect();
  }

  std::unique_ptr<testing::TestDatabase> database;
  std::unique_ptr<PosConnection> connection;
};

TEST_P(RowAccessTest, PendingRowsMarkedWhileIteratingAreEachSeenExactlyOnce) {
  constexpr int kRows = 400;
  database->Execute(testing::ManyInserts(GetParam(), kRows, PendingCupom));
  database->Execute(std::string(kInsertCupom) + "(9001, 1, 'done', 0, 0, 1);" + kInsertCupom +
                    "(9002, 2, 'null', 0, 0, NULL);");
  Query& fbquery = connection->fbquery();
  Query& fbquery2 = connection->fbquery2();
  RunStatement(fbquery, "select * from cupom where web_ex = 0 order by numero desc");
  std::vector<int> seen;
  while (!fbquery.AtEnd()) {
    seen.push_back(fbquery.FieldByName("numero").AsInteger());
    // The second query runs in the middle of the first one's iteration.
    RunStatement(fbquery2, "select cnpj from emitente");
    ASSERT_EQ(fbquery2.Field(0).AsString(), "12.345.678/0001-90");
    MarkExported(fbquery, *connection);
    EXPECT_EQ(fbquery.FieldByName("WEB_EX").AsInteger(), 1);
    fbquery.Next();
  }
  ASSERT_EQ(seen.size(), static_cast<std::size_t>(kRows));
  for (int i = 0; i < kRows; ++i) EXPECT_EQ(seen[i], kRows - i);
  // The last row stays current after the end.
  EXPECT_EQ(fbquery.FieldByName("numero").AsInteger(), 1);
  EXPECT_EQ(database->Scalar("SELECT COUNT(*) FROM CUPOM WHERE WEB_EX = 1"),
            std::to_string(kRows + 1));
  EXPECT_EQ(database->Scalar("SELECT COUNT(*) FROM CUPOM WHERE WEB_EX IS NULL"), "1");
  RunStatement(fbquery, "select * from cupom where web_ex = 0 order by numero desc");
  EXPECT_TRUE(fbquery.AtEnd());
}

TEST_P(RowAccessTest, SendErrorIsStoredExactlyAndLeavesWebExAlone) {
  database->Execute("INSERT INTO FECHAMENTOS VALUES (7, '{}', 0, NULL);");
  // Quotes, a semicolon, SQL-looking text and characters beyond ASCII.
  const std::string status_line =
      "HTTP/1.1 500 Erro 'interno'; \"x\" = 1 -- a\xC3\xA7\xC3\xA3o \xE2\x80\x93 ok";
  Query& fbquery = connection->fbquery();
  RunStatement(fbquery, "select * from FECHAMENTOS where web_ex = 0");
  RecordSendError(fbquery, *connection, status_line);
  // Firebird text columns hold the ANSI code page; SQLite and PostgreSQL hold UTF-8.
  const std::string expected_hex =
      GetParam() == Backend::kFirebird
          ? "485454502F312E3120353030204572726F2027696E7465726E6F273B2022782220"
            "3D2031202D2D2061E7E36F2096206F6B"
          : "485454502F312E3120353030204572726F2027696E7465726E6F273B2022782220"
            "3D2031202D2D2061C3A7C3A36F20E2809320 6F6B";
  std::string wanted = expected_hex;
  wanted.erase(std::remove(wanted.begin(), wanted.end(), ' '), wanted.end());
  EXPECT_EQ(database->StoredHex("FECHAMENTOS", "ERRO_ENVIO", "CODIGO = 7"), wanted);
  EXPECT_EQ(database->Scalar("SELECT WEB_EX FROM FECHAMENTOS WHERE CODIGO = 7"), "0");
  RunStatement(fbquery, "select * from FECHAMENTOS where web_ex = 0");
  EXPECT_EQ(fbquery.FieldByName("erro_envio").AsString(), status_line);
}

TEST_P(RowAccessTest, PostOfARowRemovedMeanwhileFailsAndIsRetriedByNext) {
  database->Execute(testing::ManyInserts(GetParam(), 2, PendingCupom));
  Query& fbquery = connection->fbquery();
  RunStatement(fbquery, "select * from cupom where web_ex = 0 order by numero desc");
  database->Execute("DELETE FROM CUPOM WHERE NUMERO = 2;");
  EXPECT_EQ(testing::FailureMessage([&] { MarkExported(fbquery, *connection); }),
            "fbquery: The row to update was not found");
  // The change is still pending: moving on posts it again, and fails again.
  EXPECT_EQ(testing::FailureMessage([&] { fbquery.Next(); }),
            "fbquery: The row to update was not found");
  EXPECT_EQ(fbquery.FieldByName("numero").AsInteger(), 2);
  // Closing discards it; the other row is untouched.
  RunStatement(fbquery, "select * from cupom where web_ex = 0 order by numero desc");
  EXPECT_EQ(fbquery.FieldByName("numero").AsInteger(), 1);
  EXPECT_EQ(database->Scalar("SELECT COUNT(*) FROM CUPOM WHERE WEB_EX = 0"), "1");
}

TEST_P(RowAccessTest, RowsAreFoundByThePrimaryKeyOrElseByAUniqueKeyOfNotNullColumns) {
  database->Execute(
      "CREATE TABLE UNICA (CODIGO INTEGER NOT NULL UNIQUE, WEB_EX INTEGER);"
      "CREATE TABLE INDICE (CODIGO INTEGER NOT NULL, SERIE INTEGER NOT NULL, WEB_EX INTEGER);"
      "CREATE UNIQUE INDEX INDICE_CODIGO_SERIE ON INDICE (CODIGO, SERIE);"
      "CREATE TABLE NULAVEL (CODIGO INTEGER UNIQUE, WEB_EX INTEGER);"
      "INSERT INTO UNICA VALUES (1, 0); INSERT INTO UNICA VALUES (2, 0);"
      "INSERT INTO INDICE VALUES (1, 1, 0); INSERT INTO INDICE VALUES (1, 2, 0);"
      "INSERT INTO NULAVEL VALUES (1, 0);"
      "INSERT INTO SEM_CHAVE VALUES (1, 0); INSERT INTO SEM_CHAVE VALUES (1, 0);");
  const struct {
    const char* table;
    bool marked;
  } cases[] = {{"UNICA", true}, {"INDICE", true}, {"NULAVEL", false}, {"SEM_CHAVE", false}};
  for (const auto& c : cases) {
    const std::string table = c.table;
    // The SQLite driver reports a unique index as the primary key of a table
    // that declares none, nullable or not.
    if (table == "NULAVEL" && GetParam() == Backend::kOdbcSqlite) continue;
    Query& fbquery = connection->fbquery();
    RunStatement(fbquery, "select * from " + table + " where web_ex = 0");
    const std::string message =
        testing::FailureMessage([&] { MarkExported(fbquery, *connection); });
    fbquery.Cancel();
    if (c.marked) {
      EXPECT_EQ(message, "<no failure>") << table;
      // Only the current row changed.
      EXPECT_EQ(database->Scalar("SELECT COUNT(*) FROM " + table + " WHERE WEB_EX = 1"), "1")
          << table;
    } else {
      EXPECT_NE(message.find("fbquery: Table '"), std::string::npos) << table << ": " << message;
      EXPECT_NE(message.find("has no primary key"), std::string::npos) << table << ": " << message;
      EXPECT_EQ(database->Scalar("SELECT COUNT(*) FROM " + table + " WHERE WEB_EX = 1"), "0")
          << table;
    }
  }
}

TEST_P(RowAccessTest, ColumnsAreFoundWithoutRegardToCaseOrFailWithTheQueryName) {
  database->Execute("INSERT INTO PARAMETROS VALUES (1, '1');");
  Query& fbquery2 = connection->fbquery2();
  RunStatement(fbquery2, "SELECT * from EMITENTE");
  EXPECT_EQ(fbquery2.FieldByName("cnpj").AsString(), fbquery2.FieldByName("CNPJ").AsString());
  EXPECT_EQ(testing::FailureMessage([&] { fbquery2.FieldByName("NFCE_SERIE"); }),
            "fbquery2: Field 'NFCE_SERIE' not found");
  Query& fbquery = connection->fbquery();
  RunStatement(fbquery, "SELECT NFCE_SERIE from PARAMETROS");
  EXPECT_EQ(fbquery.FieldByName("nfce_serie").AsInteger(), 1);
}

TEST_P(RowAccessTest, FailedStatementRaisesTheClientMessageAndTheConnectionGoesOn) {
  Query& fbquery = connection->fbquery();
  const std::string message =
      testing::FailureMessage([&] { RunStatement(fbquery, "select * from NAO_EXISTE"); });
  EXPECT_NE(message.find(testing::MissingTableText(GetParam(), "NAO_EXISTE")), std::string::npos)
      << message;
  EXPECT_TRUE(fbquery.AtEnd());
  RunStatement(fbquery, "SELECT * from EMITENTE");
  EXPECT_FALSE(fbquery.AtEnd());
  // Nothing is pending, so a commit has nothing to do.
  EXPECT_NO_THROW(connection->Commit());
}

TEST_P(RowAccessTest, CommitAfterAnUpdateHasNothingToEnd) {
  if (GetParam() == Backend::kFirebird) GTEST_SKIP() << "the driver manager's trace shows it";
  database->Execute(testing::ManyInserts(GetParam(), 1, PendingCupom));
  Query& fbquery = connection->fbquery();
  RunStatement(fbquery, "select * from cupom where web_ex = 0");
  fbquery.Edit();
  fbquery.SetInteger("web_ex", 1);
  fbquery.Post();
  // The update committed itself: the commit after it has nothing to end.
  const std::size_t before = database->TracedCalls("SQLEndTran");
  connection->Commit();
  EXPECT_EQ(database->TracedCalls("SQLEndTran") - before, 0u);
  EXPECT_EQ(database->Scalar("SELECT WEB_EX FROM CUPOM WHERE NUMERO = 1"), "1");
}

INSTANTIATE_TEST_SUITE_P(Backends, RowAccessTest,
                         ::testing::Values(Backend::kFirebird, Backend::kOdbcSqlite,
                                           Backend::kOdbcPostgres),
                         [](const auto& info) { return testing::BackendName(info.param); });

// QUORBIN_CLASSIC_CLIENT names a client library that exports only the classic
// calls (ctest's store_tests.classic_client). Loaded before anything else, it is
// the library the agent then finds under the name libfbclient.so.2, while the
// isql the fixtures run keeps the real one.
const bool kClassicClientLoaded = [] {
  const char* path = std::getenv("QUORBIN_CLASSIC_CLIENT");
  return path && dlopen(path, RTLD_NOW | RTLD_GLOBAL) != nullptr;
}();

TEST(FirebirdClassicClientTest, TheClientInUseHasOnlyTheClassicCalls) {
  if (!std::getenv("QUORBIN_CLASSIC_CLIENT")) GTEST_SKIP() << "the usual client is in use";
  ASSERT_TRUE(kClassicClientLoaded) << dlerror();
  auto database = testing::CreateTestDatabase(Backend::kFirebird, Schema());
  auto connection = database->Connect();
  RunStatement(connection->fbquery(), "select cnpj from emitente");
  EXPECT_EQ(connection->fbquery().Field(0).AsString(), "12.345.678/0001-90");
  void* client = dlopen("libfbclient.so.2", RTLD_LAZY | RTLD_NOLOAD);
  ASSERT_NE(client, nullptr);
  EXPECT_NE(dlsym(client, "isc_attach_database"), nullptr);
  EXPECT_EQ(dlsym(client, "fb_get_master_interface"), nullptr);
  dlclose(client);
}

// A session over one row of CUPOM whose updates report a fixed row count, as a
// driver may report it.
class FixedCountSession : public DatabaseSession {
 public:
  explicit FixedCountSession(std::int64_t count) : count_(count) {}
  ResultSet Run(const std::string&) override {
    ResultSet result;
    result.columns = {{"NUMERO", "CUPOM", ColumnValue::Kind::kInteger, false},
                      {"WEB_EX", "CUPOM", ColumnValue::Kind::kInteger, false}};
    ColumnValue numero;
    numero.kind = ColumnValue::Kind::kInteger;
    numero.integer = 1;
    ColumnValue web_ex = numero;
    web_ex.integer = 0;
    result.rows.push_back({numero, web_ex});
    return result;
  }
  std::vector<std::string> RowKey(const std::string&) override { return {"NUMERO"}; }
  std::int64_t UpdateRow(const RowUpdate&) override { return count_; }
  void Commit() override {}

 private:
  std::int64_t count_;
};

TEST(RowCountTest, AnUnknownCountIsNoFailureButNoRowOrManyRowsAre) {
  const struct {
    std::int64_t count;
    const char* outcome;
  } cases[] = {{-1, "<no failure>"},
               {1, "<no failure>"},
               {0, "fbquery: The row to update was not found"},
               {2, "fbquery: The update matched 2 rows and was undone"}};
  for (const auto& c : cases) {
    PosConnection connection(
        [&](const ConnectionProfile&) { return std::make_unique<FixedCountSession>(c.count); });
    Query& fbquery = connection.fbquery();
    RunStatement(fbquery, "select * from cupom");
    EXPECT_EQ(testing::FailureMessage([&] { MarkExported(fbquery, connection); }), c.outcome)
        << c.count;
  }
}

}  // namespace
}  // namespace quorbin

namespace quorbin {
namespace {

// Whatever ends a statement's work early, its transaction ends with it: one left
// open would hold back the server's garbage collection for the life of the
// connection. The classic client raises an exception that is not the client's
// own in the middle of a fetch.
TEST(FirebirdTransactionTest, WorkLeftByAnyExceptionRollsItsTransactionBack) {
  if (!std::getenv("QUORBIN_CLASSIC_CLIENT")) GTEST_SKIP() << "the usual client is in use";
  ASSERT_TRUE(kClassicClientLoaded) << dlerror();
  auto database = testing::CreateTestDatabase(Backend::kFirebird, Schema());
  auto connection = database->Connect();
  Query& fbquery = connection->fbquery();
  setenv("QUORBIN_CLASSIC_CLIENT_FETCH_THROWS", "1", 1);
  EXPECT_THROW(RunStatement(fbquery, "select * from cupom"), std::bad_alloc);
  unsetenv("QUORBIN_CLASSIC_CLIENT_FETCH_THROWS");
  RunStatement(fbquery,
               "SELECT COUNT(*) FROM MON$TRANSACTIONS WHERE MON$ATTACHMENT_ID = "
               "CURRENT_CONNECTION AND MON$TRANSACTION_ID <> CURRENT_TRANSACTION");
  EXPECT_EQ(fbquery.Field(0).AsInteger(), 0);
}

// A statement blocked by another transaction's lock gives up after the lock
// time-out instead of waiting forever.
TEST(FirebirdTransactionTest, StatementsWaitForLocksOnlyUpToTheLockTimeout) {
  auto database = testing::CreateTestDatabase(Backend::kFirebird, Schema());
  auto connection = database->Connect();
  Query& fbquery = connection->fbquery();
  RunStatement(fbquery,
               "SELECT MON$LOCK_TIMEOUT, MON$ISOLATION_MODE FROM MON$TRANSACTIONS "
               "WHERE MON$TRANSACTION_ID = CURRENT_TRANSACTION");
  EXPECT_EQ(fbquery.Field(0).AsInteger(), kFirebirdLockTimeoutSeconds);
  // 2: read committed, reading the latest committed version of a row.
  EXPECT_EQ(fbquery.Field(1).AsInteger(), 2);
}

}  // namespace
}  // namespace quorbin
