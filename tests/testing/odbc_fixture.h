// The real unixODBC driver manager with a configuration of the tests' own: a
// driver library registered under a SQL Server driver name in a private
// odbcinst.ini (ODBCSYSINI and ODBCINI point into a temporary folder for the
// life of the registration), so that the agent's own connection string reaches
// the tests' database. The driver manager traces every call, so the connection
// strings it was handed can be read back.
//
// OdbcSqliteDatabase: the SQLite ODBC driver under that name opens the file
// VELPDV in the working folder, so the fixture makes its folder the working
// folder. That driver reports CHAR(n) columns as variable-length text and
// ignores Server and UID.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "testing/shell_command.h"
#include "testing/temp_dir.h"

namespace quorbin::testing {

class OdbcRegistration {
 public:
  // `library` (a file name the driver manager finds, or a path) registered
  // under `driver_name`; nothing registers no driver at all.
  OdbcRegistration(const std::optional<std::string>& driver_name, std::string_view library);
  ~OdbcRegistration();
  OdbcRegistration(const OdbcRegistration&) = delete;
  OdbcRegistration& operator=(const OdbcRegistration&) = delete;

  // Every connection string handed to SQLDriverConnect since the registration,
  // in order.
  std::vector<std::string> SentConnectionStrings() const;
  // How many times the driver manager was called at `function` (SQLEndTran, ...).
  std::size_t TracedCalls(std::string_view function) const;
  // The SQLSTATE of every diagnostic record the driver manager handed out since
  // the registration, in order.
  std::vector<std::string> DiagnosticStates() const;

 private:
  // The lines the driver manager traced since the registration.
  std::vector<std::string> TraceSinceStart() const;

  ScopedEnvironment system_ini_;
  ScopedEnvironment user_ini_;
  std::size_t trace_start_ = 0;
};

class OdbcSqliteDatabase {
 public:
  // `driver_name`: the name the driver is registered under; nothing registers no
  // driver at all. `schema_sql` builds the file VELPDV.
  OdbcSqliteDatabase(std::optional<std::string> driver_name, std::string_view schema_sql);
  ~OdbcSqliteDatabase();
  OdbcSqliteDatabase(const OdbcSqliteDatabase&) = delete;
  OdbcSqliteDatabase& operator=(const OdbcSqliteDatabase&) = delete;

  const std::filesystem::path& folder() const { return folder_.path(); }
  std::vector<std::string> SentConnectionStrings() const {
    return registration_.SentConnectionStrings();
  }
  std::size_t TracedCalls(std::string_view function) const {
    return registration_.TracedCalls(function);
  }
  // The rows of `select` as the SQLite shell prints them ("|" between columns).
  std::vector<std::string> Rows(std::string_view select) const;
  void Execute(std::string_view sql) const;

 private:
  TempDir folder_;
  std::filesystem::path previous_folder_;
  OdbcRegistration registration_;
};

}  // namespace quorbin::testing
