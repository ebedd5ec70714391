#include "support/terminal.h"

#include "support/line_file.h"

namespace quorbin::testing {

const char* const kTerminalSchema = R"(
CREATE TABLE PARAMETROS (ID INTEGER NOT NULL PRIMARY KEY, NFCE_SERIE CHAR(3));
CREATE TABLE EMITENTE (ID INTEGER NOT NULL PRIMARY KEY, CNPJ VARCHAR(20));
CREATE TABLE FECHAMENTOS (CODIGO INTEGER NOT NULL PRIMARY KEY, JSON {TEXT}, WEB_EX INTEGER,
                          ERRO_ENVIO VARCHAR(300));
CREATE TABLE CUPOM (NUMERO INTEGER NOT NULL PRIMARY KEY, NFCE_NUM INTEGER, CHAVE_NFCE VARCHAR(200),
                    DATA DATE, HORA TIME, OFFLINE INTEGER, CANCELADO INTEGER, WEB_EX INTEGER);
INSERT INTO PARAMETROS VALUES (1, '1');
INSERT INTO EMITENTE VALUES (1, '12.345.678/0001-90');
)";

Terminal::Terminal(Backend backend, std::string_view rows_sql)
    : database_(CreateTestDatabase(backend, std::string(kTerminalSchema) + std::string(rows_sql))) {
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
