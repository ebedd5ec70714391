#include "testing/odbc_fixture.h"

#include <gtest/gtest.h>

#include "store/odbc_session.h"

namespace quorbin::testing {
namespace {

constexpr const char* kTraceFile = "odbc_trace.log";
// The shell waits this long for a lock that a running agent holds, rather than
// failing at once with "database is locked".
constexpr const char* kSqliteShell = "sqlite3 -batch -cmd '.timeout 10000' ";

// The driver manager takes ODBCSYSINI and its trace settings once per process,
// so every fixture of the process writes its configuration into the same folder
// and shares one trace file, reading only what was added since it began.
const std::filesystem::path& ConfigurationFolder() {
  static const TempDir folder;
  return folder.path();
}

}  // namespace

OdbcRegistration::OdbcRegistration(const std::optional<std::string>& driver_name,
                                   std::string_view library)
    : system_ini_("ODBCSYSINI", ConfigurationFolder().c_str()),
      user_ini_("ODBCINI", (ConfigurationFolder() / "odbc.ini").c_str()) {
  // Whatever the process used before, the next attempt reads this configuration.
  ResetOdbcForTesting();
  const std::filesystem::path trace = ConfigurationFolder() / kTraceFile;
  std::error_code missing;
  const auto size = std::filesystem::file_size(trace, missing);
  trace_start_ = missing ? 0 : static_cast<std::size_t>(size);
  std::string configuration = "[ODBC]\nTrace=Yes\nTraceFile=" + trace.string() + "\n\n";
  if (driver_name) {
    configuration += "[" + *driver_name + "]\nDescription=" + std::string(library) +
                     " under a SQL Server name\nDriver=" + std::string(library) + "\n";
  }
  WriteBytes(ConfigurationFolder() / "odbcinst.ini", configuration);
  WriteBytes(ConfigurationFolder() / "odbc.ini", "");
}

OdbcRegistration::~OdbcRegistration() {
  ResetOdbcForTesting();
}

OdbcSqliteDatabase::OdbcSqliteDatabase(std::optional<std::string> driver_name,
                                       std::string_view schema_sql)
    : previous_folder_(std::filesystem::current_path()),
      registration_(driver_name, "libsqlite3odbc.so") {
  Execute(schema_sql);
  std::filesystem::current_path(folder_.path());
}

OdbcSqliteDatabase::~OdbcSqliteDatabase() {
  std::error_code ignored;
  std::filesystem::current_path(previous_folder_, ignored);
}

void OdbcSqliteDatabase::Execute(std::string_view sql) const {
  WriteBytes(folder_ / "script.sql", sql);
  const CommandResult result = RunCommand(kSqliteShell + ShellQuote((folder_ / "VELPDV").string()) +
                                          " < " + ShellQuote((folder_ / "script.sql").string()));
  EXPECT_EQ(result.exit_code, 0) << result.output;
}

std::vector<std::string> OdbcSqliteDatabase::Rows(std::string_view select) const {
  const CommandResult result = RunCommand(kSqliteShell + ShellQuote((folder_ / "VELPDV").string()) +
                                          " " + ShellQuote(std::string(select)));
  EXPECT_EQ(result.exit_code, 0) << result.output;
  return OutputLines(result.output);
}

std::vector<std::string> OdbcRegistration::TraceSinceStart() const {
  const std::string trace = ReadBytes(ConfigurationFolder() / kTraceFile);
  return OutputLines(trace.substr(std::min(trace.size(), trace_start_)));
}

std::vector<std::string> OdbcRegistration::SentConnectionStrings() const {
  // The trace shows the string as "Str In = [<string>][length = ...]".
  static const std::string kMarker = "Str In = [";
  std::vector<std::string> strings;
  for (const std::string& line : TraceSinceStart()) {
    const auto at = line.find(kMarker);
    if (at == std::string::npos) continue;
    const auto begin = at + kMarker.size();
    const auto end = line.rfind("][length");
    if (end == std::string::npos || end < begin) continue;
    strings.push_back(line.substr(begin, end - begin));
  }
  return strings;
}

std::vector<std::string> OdbcRegistration::DiagnosticStates() const {
  // The trace shows each record handed out as "SQLState = <state>" when the
  // call returns (on entry the same words precede the buffer's address).
  static const std::string kMarker = "SQLState = ";
  std::vector<std::string> states;
  for (const std::string& line : TraceSinceStart()) {
    const auto at = line.find(kMarker);
    if (at == std::string::npos) continue;
    const std::string value = line.substr(at + kMarker.size());
    if (value.size() == 5 && !value.starts_with("0x")) states.push_back(value);
  }
  return states;
}

std::size_t OdbcRegistration::TracedCalls(std::string_view function) const {
  // Each call opens with "[ODBC][pid][time][<function>.c][line]" and "Entry:".
  const std::string marker = "[" + std::string(function) + ".c]";
  const std::vector<std::string> lines = TraceSinceStart();
  std::size_t calls = 0;
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) {
    if (lines[i].find(marker) != std::string::npos &&
        lines[i + 1].find("Entry:") != std::string::npos) {
      ++calls;
    }
  }
  return calls;
}

}  // namespace quorbin::testing
