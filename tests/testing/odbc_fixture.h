// A SQLite database reached through the real unixODBC driver manager, with the
// SQLite ODBC driver registered under a SQL Server driver name in a private
// configuration (ODBCSYSINI and ODBCINI point into a temporary folder for the
// life of the fixture). The agent's own connection string then opens the file
// VELPDV in the working folder, so the fixture makes its folder the working
// folder. The driver manager traces every call, so the connection strings it
// was handed can be read back.
//
// The driver reports CHAR(n) columns as variable-length text and ignores Server
// and UID.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "testing/shell_command.h"
#include "testing/temp_dir.h"

namespace quorbin::testing {

class OdbcSqliteDatabase {
 public:
  // `driver_name`: the name the driver is registered under; nothing registers no
  // driver at all. `schema_sql` builds the file VELPDV.
  OdbcSqliteDatabase(std::optional<std::string> driver_name, std::string_view schema_sql);
  ~OdbcSqliteDatabase();
  OdbcSqliteDatabase(const OdbcSqliteDatabase&) = delete;
  OdbcSqliteDatabase& operator=(const OdbcSqliteDatabase&) = delete;

  const std::filesystem::path& folder() const { return folder_.path(); }
  // Every connection string handed to SQLDriverConnect, in order.
  std::vector<std::string> SentConnectionStrings() const;
  // How many times the driver manager was called at `function` (SQLEndTran, ...).
  std::size_t TracedCalls(std::string_view function) const;
  // The rows of `select` as the SQLite shell prints them ("|" between columns).
  std::vector<std::string> Rows(std::string_view select) const;
  void Execute(std::string_view sql) const;

 private:
  TempDir folder_;
  std::filesystem::path previous_folder_;
  ScopedEnvironment system_ini_;
  ScopedEnvironment user_ini_;
  std::size_t trace_start_ = 0;
};

}  // namespace quorbin::testing
