// The three real backends the store tests run against, behind one face: a fresh
// Firebird database on the local server; a SQLite file reached through unixODBC
// with the SQLite driver registered as "ODBC Driver 17 for SQL Server"; or the
// database "VELPDV", made afresh, on the tests' PostgreSQL server, reached
// through unixODBC with psqlODBC registered as "SQL Server Native Client 10.0"
// (testing/postgres_fixture.h). Schemas are written once for all three:
// "{TEXT}" stands for the long text type (BLOB SUB_TYPE TEXT on Firebird, TEXT
// on SQLite and PostgreSQL). PostgreSQL folds unquoted names to lower case, as
// the agent's statements write them.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store/connection_profile.h"
#include "store/pos_connection.h"

namespace quorbin::testing {

enum class Backend { kFirebird, kOdbcSqlite, kOdbcPostgres };

std::string BackendName(Backend backend);

// The SQL Server driver name under which an ODBC backend's driver is
// registered; they differ (testing/postgres_fixture.h says why).
std::string OdbcDriverName(Backend backend);

// A part of the message a backend gives for a statement on `table` when there is
// no such table.
std::string MissingTableText(Backend backend, std::string_view table);

class TestDatabase {
 public:
  virtual ~TestDatabase() = default;
  virtual Backend backend() const = 0;
  virtual void Execute(std::string_view sql) = 0;
  // The rows of `select`, one line each, as the database's own shell prints them
  // (columns separated by "|" on SQLite and PostgreSQL).
  virtual std::vector<std::string> Rows(std::string_view select) = 0;
  // The single value of a one-column, one-row select ("<no row>" without a row).
  std::string Scalar(std::string_view select);
  // The stored bytes of a text column of one row, in upper-case hexadecimal.
  virtual std::string StoredHex(std::string_view table, std::string_view column,
                                std::string_view where) = 0;
  // The folder that stands for drive C when the database file lives there
  // (Firebird), else empty.
  virtual std::filesystem::path DriveC() const { return {}; }
  // ODBC: how many times the driver manager was called at `function`; else 0.
  virtual std::size_t TracedCalls(std::string_view) const { return 0; }
  // The profile of the chain that reaches this database.
  virtual const ConnectionProfile& Profile() const = 0;

  // A connection opened with Profile().
  std::unique_ptr<PosConnection> Connect() const;
};

std::unique_ptr<TestDatabase> CreateTestDatabase(Backend backend, std::string_view schema);

// `statements` as a script the backend's shell runs as one transaction, so that
// many of them load quickly.
std::string OneTransaction(Backend backend, const std::string& statements);

// `count` statements "INSERT ..." produced by `row` for 1..count, as one
// transaction.
std::string ManyInserts(Backend backend, int count, std::string (*row)(int));

}  // namespace quorbin::testing
