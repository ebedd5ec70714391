// `quorbin_sync --check` on whole terminals, run as a technician would run it:
// a working terminal on the three backends, one without a database, one whose API
// host cannot be reached and one whose invoice files are missing. Every line of
// the report is checked, and so is that nothing changed: the executable
// directory, drive C, the database rows, the web API (no request) and the lock.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <map>
#include <regex>
#include <sstream>

#include "api/api_client.h"
#include "identity/quorbin_guid.h"
#include "testing/debug_port.h"
#include "testing/terminal.h"

namespace quorbin {
namespace {

using namespace std::chrono_literals;
using testing::AgentProcess;
using testing::Backend;
using testing::Terminal;

constexpr const char* kDebugOn = "[MAIN]\r\nDEBUG=1\r\n";
const std::string kExistingLog =
    "[09/12/2026 10:00:00] : Banco de dados - SQL SERVER\r\n"
    "[09/12/2026 10:00:01] : Iniciando processo de sincronia... Vers\xE3o v1,2\r\n"
    "[09/12/2026 10:00:02] : Erro ao enviar Post JSON:HTTP/1.1 500 Internal Server Error. \r\n"
    "[09/12/2026 10:00:03] : Nota numero 7 enviada.\r\n"
    "[09/12/2026 10:02:03] : Iniciando processo de sincronia... Vers\xE3o v1,2\r\n"
    "[09/12/2026 10:02:04] : Erro ao enviar Post JSON:HTTP/1.1 403 Forbidden. \r\n"
    "second line of a message\r\n";

// Every file and folder below `root` with its size and modification time, but
// for the test's own files and the Firebird database file, whose header the
// server rewrites whenever a transaction starts (the rows are compared instead).
std::map<std::string, std::string> Snapshot(const std::filesystem::path& root) {
  std::map<std::string, std::string> entries;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string name = entry.path().lexically_relative(root).string();
    if (name == "stdout.txt" || name == "stderr.txt" || name == "script.sql" ||
        name.ends_with("VELPDV.FDB")) {
      continue;
    }
    struct stat status {};
    lstat(entry.path().c_str(), &status);
    entries[name] = std::to_string(status.st_size) + " " + std::to_string(status.st_mtim.tv_sec) +
                    "." + std::to_string(status.st_mtim.tv_nsec);
  }
  return entries;
}

// The terminals point ODBCSYSINI at their executable directory; unixODBC
// creates an empty odbcinst.ini there when it finds none, as it would for the
// agent itself. A system always has one.
void NoOdbcSystemFile(const std::filesystem::path& directory) {
  testing::WriteBytes(directory / "odbcinst.ini", "");
}

std::string InvoiceKey(int number) {
  return "3526121234567800019065001" + std::to_string(100000000 + number) + "1";
}

// A terminal with pending closings and invoices (March 2026) whose files are at
// their direct path unless `with_files` is false, and an exported row of each.
class CheckedTerminal {
 public:
  CheckedTerminal(Backend backend, int invoices, bool with_files)
      : terminal_(backend, Rows(invoices)), invoices_(invoices) {
    terminal_.InstallPosProgram();
    terminal_.WriteSettings(kDebugOn);
    testing::WriteBytes(terminal_.executable_directory() / "log_sync.txt", kExistingLog);
    for (int number = 1; with_files && number <= invoices; ++number) {
      const auto path = FilePath(number);
      std::filesystem::create_directories(path.parent_path());
      testing::WriteBytes(path, "<nfeProc/>");
    }
  }

  Terminal& terminal() { return terminal_; }
  std::filesystem::path FilePath(int number) const {
    return terminal_.drive_c() / "Tavrellis/PDV/NFCe/Transmitidas/202603" /
           (InvoiceKey(100 + number) + "-nfe.xml");
  }
  // The report and the exit code of a check of this terminal.
  std::pair<std::vector<std::string>, std::optional<int>> Check() {
    AgentProcess& agent = terminal_.agent();
    NoOdbcSystemFile(terminal_.executable_directory());
    const std::string rows = Rows();
    const auto directory = Snapshot(terminal_.executable_directory());
    const auto drive_c = Snapshot(terminal_.drive_c());
    agent.Start({"--check"});
    const auto code = agent.Wait(60s);
    std::vector<std::string> lines;
    std::istringstream output(agent.StandardOutput());
    for (std::string line; std::getline(output, line);) lines.push_back(line);
    EXPECT_EQ(Snapshot(terminal_.executable_directory()), directory) << "written beside it";
    EXPECT_EQ(Snapshot(terminal_.drive_c()), drive_c) << "written on drive C";
    EXPECT_EQ(Rows(), rows) << "rows updated";
    EXPECT_EQ(agent.StandardError(), "");
    return {lines, code};
  }

 private:
  static std::string Rows(int invoices) {
    std::string sql =
        "INSERT INTO FECHAMENTOS VALUES (1, '{}', 0, NULL);"
        "INSERT INTO FECHAMENTOS VALUES (2, '{}', 0, NULL);"
        "INSERT INTO FECHAMENTOS VALUES (3, '{}', 1, NULL);"
        "INSERT INTO CUPOM VALUES (99, 99, 'exported', '2026-03-15', '10:00:00', 0, 0, 1);";
    for (int number = 1; number <= invoices; ++number) {
      const std::string n = std::to_string(number);
      sql += "INSERT INTO CUPOM VALUES (" + n + ", " + std::to_string(100 + number) + ", '" +
             InvoiceKey(100 + number) + "', '2026-03-15', '10:00:00', 0, 0, 0);";
    }
    return sql;
  }
  std::string Rows() {
    auto& database = terminal_.database();
    return database.Scalar("SELECT SUM(WEB_EX) FROM CUPOM") + " " +
           database.Scalar("SELECT SUM(WEB_EX) FROM FECHAMENTOS") + " " +
           database.Scalar("SELECT COUNT(ERRO_ENVIO) FROM FECHAMENTOS");
  }

  Terminal terminal_;
  int invoices_;
};

std::string Drive(Terminal& terminal, const std::string& relative) {
  return (terminal.drive_c() / relative).string();
}

// The report's lines from the first that starts with `from` (inclusive) up to
// the one starting with `to` (exclusive).
std::vector<std::string> Between(const std::vector<std::string>& lines, const std::string& from,
                                 const std::string& to) {
  std::vector<std::string> part;
  bool inside = false;
  for (const auto& line : lines) {
    if (line.starts_with(from)) inside = true;
    if (inside && line.starts_with(to)) break;
    if (inside) part.push_back(line);
  }
  return part;
}

std::vector<std::string> ExpectedHead(Terminal& terminal, const std::string& debug,
                                      const std::string& api_address) {
  const auto directory = terminal.executable_directory().string();
  return {"executable directory: " + directory + " (writable)",
          "version: 1.2",
          "agent bitness: 64-bit (it loads 64-bit database clients and ODBC drivers only)",
          "sync.ini: " + directory + "/sync.ini, DEBUG=" + debug + ", OFFLINE=1",
          "API address: " + api_address,
          "point-of-sale program: " + Drive(terminal, "Tavrellis/PDV/Quorbin.exe") + " (found)"};
}

// The report's first lines, as many as `expected` has.
std::vector<std::string> Head(const std::vector<std::string>& lines,
                              const std::vector<std::string>& expected) {
  return std::vector<std::string>(lines.begin(),
                                  lines.begin() + std::min(expected.size(), lines.size()));
}

// The ODBC drivers the check saw: the one the terminal registered, if any.
std::string DriversLine(Backend backend) {
  return "ODBC drivers (64-bit): " +
         (backend == Backend::kFirebird ? std::string("none") : testing::OdbcDriverName(backend));
}

// The Firebird client loaded by name, with its full path and width.
const std::regex kLoadedClient("(/[^ ]+/libfbclient\\.so\\.2) \\(64-bit\\)");

const std::vector<std::string> kExpectedLogLines = {
    "another agent running: no", "last pass started: 09/12/2026 10:02:03",
    "last closing or invoice sent: [09/12/2026 10:00:03] : Nota numero 7 enviada.",
    "refusals since then: 1",
    "  [09/12/2026 10:02:04] : Erro ao enviar Post JSON:HTTP/1.1 403 Forbidden. "};

void ExpectDatabaseLines(const std::vector<std::string>& lines, Terminal& terminal,
                         Backend backend) {
  EXPECT_EQ(Between(lines, "ODBC drivers", "database ").at(0), DriversLine(backend));
  const auto database = Between(lines, "database ", "emitter CNPJ");
  ASSERT_EQ(database.size(), backend == Backend::kFirebird ? 5u : 4u)
      << ::testing::PrintToString(lines);
  const std::string firebird =
      "database Firebird localhost:" + Drive(terminal, "Tavrellis/PDV/BD/VELPDV.FDB") + ": ";
  if (backend != Backend::kFirebird) {
    EXPECT_EQ(database[0],
              "database SQL Server LOCALHOST\\QUORPDV VELPDV: opened with ODBC driver " +
                  testing::OdbcDriverName(backend));
    EXPECT_EQ(database[1], "database SQL Server LOCALHOST\\SQLEXPRESS VELPDV: not tried");
    EXPECT_EQ(database[2], firebird + "not tried");
    // psqlODBC takes the time-out; SQLite's driver answers success, yet keeps 0.
    EXPECT_EQ(database[3], backend == Backend::kOdbcPostgres
                               ? "query time-out: 30 s"
                               : "query time-out: not taken by the driver (a lock waits as long "
                                 "as the database lets it)");
  } else {
    EXPECT_TRUE(database[0].starts_with("database SQL Server LOCALHOST\\QUORPDV VELPDV: failed: "))
        << database[0];
    EXPECT_TRUE(
        database[1].starts_with("database SQL Server LOCALHOST\\SQLEXPRESS VELPDV: failed: "))
        << database[1];
    std::smatch loaded;
    const std::string opened_with = firebird + "opened with Firebird client ";
    ASSERT_TRUE(database[2].starts_with(opened_with)) << database[2];
    const std::string client = database[2].substr(opened_with.size());
    ASSERT_TRUE(std::regex_match(client, loaded, kLoadedClient)) << database[2];
    EXPECT_TRUE(std::filesystem::exists(loaded[1].str())) << database[2];
    EXPECT_EQ(database[3], "Firebird client library: " + client);
    EXPECT_EQ(database[4], "lock time-out: 30 s");
  }
}

class CheckTest : public ::testing::TestWithParam<Backend> {};

TEST_P(CheckTest, WorkingTerminalReportsEveryFactAndExitsZeroWithoutLoggingIn) {
  CheckedTerminal checked(GetParam(), 2, true);
  if (IsSkipped()) return;  // no PostgreSQL server here
  Terminal& terminal = checked.terminal();
  auto api = testing::ListenOnDebugPort();
  const auto [lines, code] = checked.Check();
  EXPECT_EQ(code, 0) << ::testing::PrintToString(lines);

  const auto expected = ExpectedHead(terminal, "1", "http://localhost:8000/api/");
  EXPECT_EQ(Head(lines, expected), expected);
  ExpectDatabaseLines(lines, terminal, GetParam());
  const std::vector<std::string> middle = {
      "emitter CNPJ: 12345678000190",
      "series: 1",
      "fingerprint: " + TUQuorbinGUID().RETORNARGUID(),
      "pending closings: 2",
      "pending invoices: 2",
      "invoice 102: file found at " + checked.FilePath(2).string(),
      "invoice 101: file found at " + checked.FilePath(1).string(),
      "API host: localhost:8000 resolves and accepts a connection"};
  EXPECT_EQ(Between(lines, "emitter CNPJ", "another agent"), middle);
  auto tail = kExpectedLogLines;
  tail.push_back("uploads can proceed: yes");
  EXPECT_EQ(Between(lines, "another agent", "no such line"), tail);

  for (const auto& connection : api->Connections()) {
    EXPECT_EQ(connection.request, "") << "the check sent a request";
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, CheckTest,
                         ::testing::Values(Backend::kOdbcSqlite, Backend::kFirebird,
                                           Backend::kOdbcPostgres),
                         [](const auto& info) { return testing::BackendName(info.param); });

TEST(CheckOutcomeTest, MissingFilesAreListedForTheNewestTwentyAndUploadsCanStillProceed) {
  CheckedTerminal checked(Backend::kOdbcSqlite, 22, false);
  auto api = testing::ListenOnDebugPort();
  const auto [lines, code] = checked.Check();
  EXPECT_EQ(code, 0) << ::testing::PrintToString(lines);
  std::vector<std::string> expected = {"pending invoices: 22"};
  for (int number = 22; number >= 3; --number) {
    expected.push_back("invoice " + std::to_string(100 + number) +
                       ": file NOT at the direct path " + checked.FilePath(number).string());
  }
  EXPECT_EQ(Between(lines, "pending invoices", "API host"), expected);
  EXPECT_EQ(lines.back(), "uploads can proceed: yes");
}

// Without DEBUG the production host is checked; the build's default never resolves.
TEST(CheckOutcomeTest, UnresolvedApiHostMeansUploadsCannotProceed) {
  const std::string production = ProductionBaseUrl();
  if (production != "http://api.invalid:82/api/") GTEST_SKIP() << "built for " << production;
  CheckedTerminal checked(Backend::kOdbcSqlite, 1, true);
  checked.terminal().WriteSettings("[MAIN]\r\nOFFLINE=1\r\n");
  const auto [lines, code] = checked.Check();
  EXPECT_EQ(code, 1) << ::testing::PrintToString(lines);
  const auto head = ExpectedHead(checked.terminal(), "0", production);
  EXPECT_EQ(Head(lines, head), head);
  EXPECT_EQ(Between(lines, "API host", "another agent"),
            std::vector<std::string>{"API host: api.invalid:82 does NOT resolve: Host not found."});
  EXPECT_EQ(lines.back(), "uploads can proceed: no");
}

// The check runs beside a running agent, which keeps its lock and runs on.
TEST(CheckOutcomeTest, NoDatabaseReportsEveryProfileFailedAndSeesTheRunningAgent) {
  Terminal terminal(Backend::kOdbcSqlite);
  terminal.InstallPosProgram();
  terminal.WriteSettings(kDebugOn);
  AgentProcess& check = terminal.agent();
  // No SQL Server driver registered and no Firebird database file.
  check.SetEnv("ODBCSYSINI", terminal.executable_directory().string());
  testing::TempDir running_directory;
  AgentProcess running(QUORBIN_AGENT_BINARY, running_directory.path());
  running.SetEnv("QUORBIN_LOCK_NAME", check.Env("QUORBIN_LOCK_NAME"));
  running.SetEnv("QUORBIN_DRIVE_C", (running_directory / "drive_c").string());
  running.SetEnv("ODBCSYSINI", running_directory.path().string());
  running.Start();
  ASSERT_TRUE(testing::WaitFor([&] { return !running.StandardError().empty(); }, 20s));

  NoOdbcSystemFile(terminal.executable_directory());
  const auto directory = Snapshot(terminal.executable_directory());
  check.Start({"--check"});
  EXPECT_EQ(check.Wait(60s), 1);
  std::vector<std::string> lines;
  std::istringstream output(check.StandardOutput());
  for (std::string line; std::getline(output, line);) lines.push_back(line);
  EXPECT_EQ(Snapshot(terminal.executable_directory()), directory);

  const auto head = ExpectedHead(terminal, "1", "http://localhost:8000/api/");
  EXPECT_EQ(Head(lines, head), head);
  EXPECT_EQ(Between(lines, "ODBC drivers", "database ").at(0), "ODBC drivers (64-bit): none");
  const auto rest = Between(lines, "database ", "no such line");
  ASSERT_EQ(rest.size(), 11u) << ::testing::PrintToString(lines);
  EXPECT_TRUE(rest[0].starts_with(
      "database SQL Server LOCALHOST\\QUORPDV VELPDV: failed: [unixODBC][Driver Manager]"))
      << rest[0];
  EXPECT_TRUE(rest[1].starts_with("database SQL Server LOCALHOST\\SQLEXPRESS VELPDV: failed: "))
      << rest[1];
  EXPECT_TRUE(rest[2].starts_with("database Firebird localhost:" +
                                  Drive(terminal, "Tavrellis/PDV/BD/VELPDV.FDB") + ": failed: "))
      << rest[2];
  EXPECT_NE(rest[2].find("VELPDV.FDB"), std::string::npos);
  // The client loaded; the database file is what is missing.
  const std::string library = "Firebird client library: ";
  ASSERT_TRUE(rest[3].starts_with(library)) << rest[3];
  EXPECT_TRUE(std::regex_match(rest[3].substr(library.size()), kLoadedClient)) << rest[3];
  EXPECT_EQ(rest[4], "fingerprint: " + TUQuorbinGUID().RETORNARGUID());
  EXPECT_TRUE(rest[5].starts_with("API host: localhost:8000 ")) << rest[5];
  EXPECT_EQ(rest[6], "another agent running: yes");
  EXPECT_EQ(rest[7], "last pass started: none in the log");
  EXPECT_EQ(rest[8], "last closing or invoice sent: none in the log");
  EXPECT_EQ(rest[9], "refusals since then: 0");
  EXPECT_EQ(rest[10], "uploads can proceed: no");

  EXPECT_TRUE(running.Running());
  running.Signal(SIGTERM);
  EXPECT_EQ(running.Wait(20s), 0);
}

TEST(CheckOutcomeTest, VersionHelpAndUnknownArgumentsStartNoAgent) {
  Terminal terminal(Backend::kOdbcSqlite);
  AgentProcess& agent = terminal.agent();
  agent.Start({"--version"});
  EXPECT_EQ(agent.Wait(20s), 0);
  EXPECT_EQ(agent.StandardOutput(), "quorbin_sync 1.2\n");
  agent.Start({"--help"});
  EXPECT_EQ(agent.Wait(20s), 0);
  EXPECT_NE(agent.StandardOutput().find("Usage: quorbin_sync [--check | --version | --help]"),
            std::string::npos);
  agent.Start({"--chek"});
  EXPECT_EQ(agent.Wait(20s), 2);
  EXPECT_TRUE(agent.StandardError().starts_with("Usage: quorbin_sync")) << agent.StandardError();
  EXPECT_FALSE(std::filesystem::exists(terminal.executable_directory() / "log_sync.txt"));
}

}  // namespace
}  // namespace quorbin
