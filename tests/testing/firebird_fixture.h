// A fresh Firebird database for one test, at the place the agent's Firebird
// profile names: a new drive C folder (QUORBIN_DRIVE_C points at it for the life
// of the fixture) holding Tavrellis/PDV/BD/VELPDV.FDB, in folders the `firebird`
// user can reach. The schema and rows are laid down through isql, which sends
// bytes without a connection character set, as the agent does.
//
// The server is the one started by scripts/services.d/firebird on
// 127.0.0.1:3050, with SYSDBA's password set to the agent's.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "testing/shell_command.h"
#include "testing/temp_dir.h"

namespace quorbin::testing {

inline constexpr const char* kFirebirdPassword = "plumtrove";

bool FirebirdListening();
// Stops the shared server (and its guardian) or starts it again, through
// scripts/services.d/firebird; the result of the script.
CommandResult StopFirebird();
CommandResult StartFirebird();
// For tests that stop the server: starts it again when they end, however.
struct FirebirdLeftRunning {
  ~FirebirdLeftRunning() { StartFirebird(); }
};
// Waits until the server accepts connections (true) or `limit` has passed.
bool WaitForFirebird(std::chrono::milliseconds limit);

class FirebirdDatabase {
 public:
  explicit FirebirdDatabase(std::string_view schema_sql);

  const std::filesystem::path& drive_c() const { return drive_.path(); }
  const std::filesystem::path& file() const { return file_; }

  // Runs statements and commits; fails the test when isql reports an error.
  void Execute(std::string_view sql);
  // The rows of `select` as isql prints them, one line each, blanks trimmed.
  // isql prints CHARACTER SET OCTETS values in hexadecimal, which shows the
  // stored bytes exactly.
  std::vector<std::string> Rows(std::string_view select);

 private:
  CommandResult RunIsql(const std::string& script);

  TempDir drive_;
  std::filesystem::path file_;
  ScopedEnvironment drive_variable_;
};

}  // namespace quorbin::testing
