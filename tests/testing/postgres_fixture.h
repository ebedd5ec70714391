// The tests' PostgreSQL 15 server (scripts/services.d/postgresql: 127.0.0.1 on
// kPostgresPort, trust, the superuser sa, the database "VELPDV") reached through
// the real unixODBC driver manager with psqlODBC's Unicode driver
// (psqlodbcw.so) registered under a SQL Server driver name
// (kPostgresDriverName), so that the agent's unchanged connection string opens
// it. For the life of the fixture the environment (which the agents a test
// starts inherit) holds PGHOSTADDR=127.0.0.1 and PGPORT: psqlODBC hands the
// string's Server, LOCALHOST\QUORPDV, to libpq as the host name only, and libpq
// then connects to that address without resolving the name, on that port, which
// the string does not name. Its UID=sa is the role; its Trusted_Connection and
// MARS_Connection (which that driver name adds) are keywords psqlODBC does not
// know and passes over.
//
// Each PostgresDatabase drops "VELPDV" (ending every session still in it) and
// creates it afresh with the schema. There is one such database on the server,
// so a fixture holds a lock on the machine (flock on kPostgresLockFile, which
// the service script makes) for its whole life: tests of every process and
// every build on the machine that use the server take turns, and a test that
// stops the server holds the lock too. Holding the lock, it starts the server
// when it finds it down (a test killed while it had stopped it). Where the
// server cannot be used (the service was never started here: no lock file; or
// the server is down and cannot be started, as without root), the fixture marks
// the test skipped and does nothing more: a test that makes one in its body
// (rather than as a member or in SetUp) returns when IsSkipped(). One
// PostgresDatabase at a time per process.
//
// Unquoted names fold to lower case, CHAR(n) arrives padded as SQL_WCHAR, text
// is UTF-8 and the driver hands it over as UTF-16.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "testing/odbc_fixture.h"
#include "testing/shell_command.h"

namespace quorbin::testing {

inline constexpr int kPostgresPort = 15432;
// Not the SQLite fixture's name: the driver manager keeps what it read of
// odbcinst.ini for 20 s, so within one process a driver registered under the
// other backend's name would be loaded in place of this one.
inline constexpr const char* kPostgresDriverName = "SQL Server Native Client 10.0";
inline constexpr const char* kPostgresLockFile = "/var/lib/quorbin-test/postgresql.lock";

bool PostgresListening();
// The command line of psql as the role sa on `database`, without the user's
// .psqlrc, in UTF-8, stopping at the first error; its arguments follow.
std::string Psql(const std::string& database);
// The server through scripts/services.d/postgresql: started (or checked),
// stopped (fast: every session is ended, SQLSTATE 57P01) or killed (an
// immediate stop, with no shutdown checkpoint); the result of the script.
CommandResult StartPostgres();
CommandResult StopPostgres();
CommandResult KillPostgres();
// For tests that stop the server: starts it again when they end, however.
struct PostgresLeftRunning {
  ~PostgresLeftRunning() { StartPostgres(); }
};

class PostgresDatabase {
 public:
  explicit PostgresDatabase(std::string_view schema_sql);
  ~PostgresDatabase();
  PostgresDatabase(const PostgresDatabase&) = delete;
  PostgresDatabase& operator=(const PostgresDatabase&) = delete;

  const OdbcRegistration& odbc() const { return registration_; }

  // Runs statements through psql, each committed on its own unless the script
  // says otherwise; fails the test at the first error.
  void Execute(std::string_view sql) const;
  // The rows of `select` as psql prints them unaligned ("|" between columns,
  // NULL as nothing). Both do nothing where the fixture skipped the test.
  std::vector<std::string> Rows(std::string_view select) const;

 private:
  // Why the server cannot be used (empty when it is locked and listening).
  std::string TakeServer();

  int lock_ = -1;
  bool usable_ = false;
  ScopedEnvironment address_;
  ScopedEnvironment port_;
  OdbcRegistration registration_;
};

}  // namespace quorbin::testing
