#include "testing/terminal.h"

#include "support/line_file.h"
#include "testing/pos_schema.h"

namespace quorbin::testing {

Terminal::Terminal(Backend backend, std::string_view rows_sql)
    : database_(CreateTestDatabase(backend, PosSchema() + std::string(rows_sql))) {
  drive_c_ = database_->DriveC().empty() ? own_drive_.path() : database_->DriveC();
}

void Terminal::InstallPosProgram() {
  std::filesystem::create_directories(drive_c_ / "Tavrellis" / "PDV");
  WriteBytes(drive_c_ / "Tavrellis" / "PDV" / "Quorbin.exe", "MZ");
}

void Terminal::WriteSettings(std::string_view ini) {
  WriteBytes(executable_directory() / "sync.ini", ini);
}

AgentProcess& Terminal::agent() {
  if (!agent_) {
    agent_ = std::make_unique<AgentProcess>(QUORBIN_AGENT_BINARY, executable_directory());
    agent_->SetEnv("QUORBIN_DRIVE_C", drive_c_.string());
    if (database_->backend() == Backend::kFirebird) {
      // No SQL Server driver, whatever ODBC configuration another terminal of
      // the test process set up: the chain must reach this terminal's Firebird.
      agent_->SetEnv("ODBCSYSINI", executable_dir_.path().string());
      agent_->SetEnv("ODBCINI", (executable_dir_.path() / "odbc.ini").string());
    }
  }
  return *agent_;
}

std::vector<std::string> Terminal::LogMessages() const {
  std::vector<std::string> messages;
  const auto log = executable_directory() / "log_sync.txt";
  if (!std::filesystem::exists(log)) return messages;
  for (const auto& line : ReadLineFile(log).lines) {
    const auto stamp_end = line.find("] : ");
    messages.push_back(stamp_end == std::string::npos ? line : line.substr(stamp_end + 4));
  }
  return messages;
}

}  // namespace quorbin::testing
