// The ODBC client against a real database server: PostgreSQL 15 through
// psqlODBC's Unicode driver, reached with the agent's own connection string
// (testing/postgres_fixture.h). What SQLite, embedded, never does: a server
// that restarts, a session the server ends or whose process dies, a server
// that is down, a row locked by another session for longer than the query
// time-out, and key values bound back exactly (numeric, timestamp(3)).
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include "store/pos_connection.h"
#include "store/query.h"
#include "support/failure.h"
#include "testing/agent_process.h"
#include "testing/failure_message.h"
#include "testing/pos_schema.h"
#include "testing/postgres_fixture.h"

namespace quorbin {
namespace {

using namespace std::chrono_literals;
using testing::PostgresDatabase;

const std::string kSchema = testing::PosTable("EMITENTE") + testing::PosTable("CUPOM") +
                            std::string(testing::kPosEmitterRow);

// psql on VELPDV, for what the fixture's own calls do not do.
std::string Psql(const std::string& arguments) {
  return testing::Psql("VELPDV") + arguments;
}

// Waits until the server takes a session and answers again (while it recovers
// it listens but refuses).
void WaitUntilAnswering() {
  testing::WaitFor([] { return testing::RunCommand(Psql("-c 'SELECT 1'")).exit_code == 0; }, 60s);
}

// The server's process of the one session in VELPDV other than psql's own.
std::string SessionProcess(const PostgresDatabase& database) {
  const auto pids = database.Rows(
      "SELECT pid FROM pg_stat_activity WHERE datname = 'VELPDV' AND pid <> pg_backend_pid() "
      "AND backend_type = 'client backend'");
  return pids.size() == 1 ? pids.front() : std::string();
}

class PostgresServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "stopping the PostgreSQL server needs root";
    fbconn.SetProfile(PosConnectionProfiles()[0]);
  }

  std::string FirstCnpj() {
    RunStatement(fbconn.fbquery2(), "select cnpj from emitente");
    return fbconn.fbquery2().Field(0).AsString();
  }
  std::size_t StatesSoFar() const { return database.odbc().DiagnosticStates().size(); }
  std::vector<std::string> StatesSince(std::size_t count) const {
    const auto states = database.odbc().DiagnosticStates();
    return {states.begin() + static_cast<long>(std::min(count, states.size())), states.end()};
  }

  PostgresDatabase database{
      kSchema + "INSERT INTO CUPOM (NUMERO, WEB_EX) SELECT n, 0 FROM generate_series(1, 10) n;"};
  // After the database: the server runs again before the database lets others in.
  testing::PostgresLeftRunning server_left_running;
  PosConnection fbconn;
};

struct Interruption {
  const char* name;
  std::function<void(const PostgresDatabase&)> interrupt;
};

// After each interruption, met first by a select or by a row update, the
// statement runs on a new session and nothing is lost. psqlODBC reports a session
// the server ended as 57P01 and a lost one met while preparing an update as
// HY000 (08S01 only from the next statement on); asked afterwards, it says the
// connection is dead, so the client runs that first statement once more on a new
// session.
TEST_F(PostgresServerTest, TheSessionAfterARestartOrAnEndedSessionIsANewOne) {
  const Interruption interruptions[] = {
      {"server restarted",
       [](const PostgresDatabase&) {
         EXPECT_EQ(testing::StopPostgres().exit_code, 0);
         EXPECT_EQ(testing::StartPostgres().exit_code, 0);
       }},
      {"server stopped at once and started",
       [](const PostgresDatabase&) {
         EXPECT_EQ(testing::KillPostgres().exit_code, 0);
         EXPECT_EQ(testing::StartPostgres().exit_code, 0);
       }},
      {"session ended by the server",
       [](const PostgresDatabase& database) {
         database.Execute("SELECT pg_terminate_backend(" + SessionProcess(database) + ");");
       }},
      {"session's process killed, the server recovered",
       [](const PostgresDatabase& database) {
         EXPECT_EQ(testing::RunCommand("kill -KILL " + SessionProcess(database)).exit_code, 0);
         std::this_thread::sleep_for(200ms);
         WaitUntilAnswering();
       }},
  };
  int marked = 0;
  for (const Interruption& interruption : interruptions) {
    for (const bool update : {false, true}) {
      SCOPED_TRACE(std::string(interruption.name) +
                   (update ? ", then an update" : ", then a select"));
      ASSERT_EQ(FirstCnpj(), "12.345.678/0001-90");
      Query& fbquery = fbconn.fbquery();
      RunStatement(fbquery, "select * from cupom where web_ex = 0 order by numero");
      interruption.interrupt(database);
      const std::size_t states_before = StatesSoFar();

      EXPECT_EQ(testing::FailureMessage(
                    [&] { update ? MarkExported(fbquery, fbconn) : (void)FirstCnpj(); }),
                "<no failure>");
      // The dead session was met (and its statement run again).
      const auto states = StatesSince(states_before);
      ASSERT_FALSE(states.empty());
      EXPECT_TRUE(states.front() == "57P01" || states.front() == "HY000" ||
                  states.front() == "08S01")
          << ::testing::PrintToString(states);
      if (!update) {
        RunStatement(fbquery, "select * from cupom where web_ex = 0 order by numero");
        MarkExported(fbquery, fbconn);
      }
      fbquery.Cancel();
      ++marked;
      EXPECT_EQ(database.Rows("SELECT count(*) FROM cupom WHERE web_ex = 1"),
                std::vector<std::string>{std::to_string(marked)});
    }
  }
}

// While the server is down a statement fails with the client's message, as a
// lost connection, and the connection is closed; the first use after the
// server's start works. The first statement meets the ended session (57P01),
// which the driver then says is dead, so that statement already tries the server.
TEST_F(PostgresServerTest, UseWhileTheServerIsDownFailsAndTheNextUseAfterItsStartWorks) {
  ASSERT_EQ(FirstCnpj(), "12.345.678/0001-90");
  ASSERT_EQ(testing::StopPostgres().exit_code, 0);
  EXPECT_THROW(FirstCnpj(), ConnectionLost);
  const std::string down = testing::FailureMessage([&] { FirstCnpj(); });
  EXPECT_NE(down.find("Connection refused"), std::string::npos) << down;
  EXPECT_FALSE(fbconn.IsOpen());
  ASSERT_EQ(testing::StartPostgres().exit_code, 0);
  EXPECT_EQ(FirstCnpj(), "12.345.678/0001-90");
  EXPECT_TRUE(fbconn.IsOpen());
}

// Another session holds row 1 (SELECT ... FOR UPDATE) for longer than the
// client's query time-out: psqlODBC turns the time-out into statement_timeout,
// so the update gives up after 30 s with SQLSTATE 57014, the row stays pending
// and the connection goes on. This case waits those 30 s.
TEST_F(PostgresServerTest, UpdateOfARowLockedByAnotherSessionEndsAfterTheQueryTimeOut) {
  std::thread holder([&] {
    testing::RunCommand(
        Psql("-c 'BEGIN' -c 'SELECT 1 FROM cupom WHERE numero = 1 FOR UPDATE' "
             "-c 'SELECT pg_sleep(120)' -c 'ROLLBACK'"));
  });
  const std::string sleeping =
      "SELECT pid FROM pg_stat_activity WHERE datname = 'VELPDV' AND wait_event = 'PgSleep'";
  testing::WaitFor([&] { return !database.Rows(sleeping).empty(); }, 20s);
  const std::vector<std::string> holder_process = database.Rows(sleeping);

  Query& fbquery = fbconn.fbquery();
  RunStatement(fbquery, "select * from cupom where web_ex = 0 order by numero");
  const std::size_t states_before = StatesSoFar();
  const auto start = std::chrono::steady_clock::now();
  const std::string failure = testing::FailureMessage([&] { MarkExported(fbquery, fbconn); });
  const auto waited = std::chrono::steady_clock::now() - start;
  fbquery.Cancel();
  if (!holder_process.empty()) {
    database.Execute("SELECT pg_terminate_backend(" + holder_process.front() + ");");
  }
  holder.join();

  ASSERT_EQ(holder_process.size(), 1u) << "the other session did not take the lock";
  EXPECT_NE(failure.find("statement timeout"), std::string::npos) << failure;
  EXPECT_EQ(StatesSince(states_before), std::vector<std::string>{"57014"});
  EXPECT_GE(waited, 29s);
  EXPECT_LT(waited, 40s);
  EXPECT_EQ(database.Rows("SELECT web_ex FROM cupom WHERE numero = 1"),
            std::vector<std::string>{"0"});
  // The connection goes on: the row is marked once the lock is gone.
  RunStatement(fbquery, "select * from cupom where web_ex = 0 order by numero");
  MarkExported(fbquery, fbconn);
  EXPECT_EQ(database.Rows("SELECT web_ex FROM cupom WHERE numero = 1"),
            std::vector<std::string>{"1"});
}

// The row is found again by its key values as the client read them: a numeric
// and a timestamp(3) key bound as parameters must match the stored value
// exactly, neighbours a cent or a millisecond away included.
TEST_F(PostgresServerTest, RowsKeyedByNumericOrTimestampValuesAreMarkedExactly) {
  database.Execute(
      "CREATE TABLE CHAVE_VALOR (VALOR NUMERIC(12,2) NOT NULL PRIMARY KEY, WEB_EX INTEGER);"
      "INSERT INTO CHAVE_VALOR VALUES (-0.05, 0), (-0.04, 0), (1234567890.25, 0), "
      "(1234567890.26, 0);"
      "CREATE TABLE CHAVE_MOMENTO (MOMENTO TIMESTAMP(3) NOT NULL PRIMARY KEY, WEB_EX INTEGER);"
      "INSERT INTO CHAVE_MOMENTO VALUES ('2024-03-05 13:45:30.250', 0), "
      "('2024-03-05 13:45:30.251', 0), ('2024-03-05 23:59:59.999', 0), ('2024-03-06', 0);");
  for (const std::string table : {"CHAVE_VALOR", "CHAVE_MOMENTO"}) {
    SCOPED_TRACE(table);
    const std::string key = table == "CHAVE_VALOR" ? "valor" : "momento";
    Query& fbquery = fbconn.fbquery();
    RunStatement(fbquery, "select * from " + table + " where web_ex = 0 order by " + key);
    std::vector<std::string> expected;
    for (int row = 0; !fbquery.AtEnd(); ++row) {
      // Every other row, from the first.
      if (row % 2 == 0) {
        EXPECT_EQ(testing::FailureMessage([&] { MarkExported(fbquery, fbconn); }), "<no failure>");
      }
      expected.push_back(row % 2 == 0 ? "1" : "0");
      fbquery.Next();
    }
    EXPECT_EQ(database.Rows("SELECT web_ex FROM " + table + " ORDER BY " + key), expected);
  }
}

// Text outside the Basic Multilingual Plane goes to the server as UTF-16
// surrogate pairs through the bound parameter and is stored as UTF-8, then
// comes back as it was.
TEST_F(PostgresServerTest, TextOutsideTheBmpIsStoredAndReadBackExactly) {
  database.Execute(testing::PosTable("FECHAMENTOS", "TEXT") +
                   "INSERT INTO FECHAMENTOS VALUES (7, '{}', 0, NULL);");
  const std::string status_line = "HTTP/1.1 500 \xF0\x9F\x98\x80 \xF0\xA0\xAE\xB7 \xC3\xA7";
  Query& fbquery = fbconn.fbquery();
  RunStatement(fbquery, "select * from FECHAMENTOS where web_ex = 0");
  RecordSendError(fbquery, fbconn, status_line);
  EXPECT_EQ(database.Rows("SELECT upper(encode(convert_to(erro_envio, 'UTF8'), 'hex')) FROM "
                          "fechamentos WHERE codigo = 7"),
            std::vector<std::string>{"485454502F312E312035303020F09F988020F0A0AEB720C3A7"});
  RunStatement(fbquery, "select * from FECHAMENTOS where web_ex = 0");
  EXPECT_EQ(fbquery.FieldByName("erro_envio").AsString(), status_line);
}

}  // namespace
}  // namespace quorbin
