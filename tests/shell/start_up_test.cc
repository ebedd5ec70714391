// The real agent's start-up on a whole terminal: the point-of-sale database on
// the three real backends, the web API played by a scripted server on the debug
// address (127.0.0.1:8000), one case per outcome of start-up.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "shell/agent.h"
#include "testing/debug_port.h"
#include "testing/scripted_http_server.h"
#include "testing/terminal.h"

namespace quorbin {
namespace {

using namespace std::chrono_literals;
using testing::Backend;
using testing::HttpAnswer;
using testing::ScriptedAnswer;
using testing::ScriptedHttpServer;
using testing::Terminal;
using testing::WaitFor;

constexpr const char* kDebugOn = "[MAIN]\r\nDEBUG=1\r\n";

std::string ConnectionLine(Backend backend) {
  return backend == Backend::kFirebird ? "Banco de dados - Firebird"
                                       : "Banco de dados - SQL SERVER";
}

// The web API: the login hands out a token; every other call is accepted.
class FakeApi {
 public:
  explicit FakeApi(std::string login_answer = HttpAnswer("HTTP/1.1 200 OK",
                                                         "Content-Type: application/json\r\n",
                                                         "\"tok-42\""))
      : server_(testing::ListenOnDebugPort()) {
    server_->SetResponder([login_answer](const std::string& request) {
      if (request.starts_with("POST /api/pdv/login/ ")) return ScriptedAnswer(login_answer);
      return ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK", {}, "{}"));
    });
  }
  std::vector<std::string> Requests() const {
    std::vector<std::string> requests;
    for (const auto& connection : server_->Connections()) requests.push_back(connection.request);
    return requests;
  }

 private:
  std::unique_ptr<ScriptedHttpServer> server_;
};

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class StartUpTest : public ::testing::TestWithParam<Backend> {};

TEST_P(StartUpTest, AcceptedLoginRunsTheFirstPassAtOnceWithTheToken) {
  Terminal terminal(GetParam());
  if (IsSkipped()) return;  // no PostgreSQL server here
  terminal.InstallPosProgram();
  terminal.WriteSettings(kDebugOn);
  FakeApi api;
  auto& agent = terminal.agent();
  agent.Start();
  ASSERT_TRUE(WaitFor([&] { return Contains(terminal.LogMessages(), PassStartMessage()); }, 20s))
      << agent.StandardError();
  const auto messages = terminal.LogMessages();
  EXPECT_EQ(messages.at(0), ConnectionLine(GetParam()));
  EXPECT_EQ(messages.at(1), PassStartMessage());

  const auto requests = api.Requests();
  ASSERT_FALSE(requests.empty());
  const std::string& login = requests.front();
  EXPECT_TRUE(login.starts_with("POST /api/pdv/login/ HTTP/1.0\r\n")) << login;
  EXPECT_NE(login.find("\r\nHost: localhost:8000\r\n"), std::string::npos) << login;
  EXPECT_EQ(login.find("Authorization"), std::string::npos) << login;
  EXPECT_NE(login.find("\"old\": true,\"cnpj\": \"12345678000190\",\"serie\": \"1\"}"),
            std::string::npos)
      << login;
  for (std::size_t i = 1; i < requests.size(); ++i) {
    EXPECT_NE(requests[i].find("\r\nAuthorization: Token tok-42\r\n"), std::string::npos);
  }
  agent.Signal(SIGTERM);
  EXPECT_EQ(agent.Wait(20s), 0);
}

TEST_P(StartUpTest, PendingSelfUpdateSwapsRunsTheFirstPassThenEnds) {
  Terminal terminal(GetParam());
  if (IsSkipped()) return;  // no PostgreSQL server here
  terminal.InstallPosProgram();
  terminal.WriteSettings(kDebugOn);
  const auto dir = terminal.executable_directory();
  FakeApi api;
  auto& agent = terminal.agent();
  testing::WriteBytes(dir / "quorbin_sync.exe_new", "the new version");
  agent.Start();
  EXPECT_EQ(agent.Wait(20s), 0) << agent.StandardError();
  EXPECT_TRUE(Contains(terminal.LogMessages(), PassStartMessage()));
  EXPECT_FALSE(api.Requests().empty());
  EXPECT_EQ(testing::ReadBytes(dir / "quorbin_sync"), "the new version");
  EXPECT_TRUE(std::filesystem::exists(dir / "quorbin_sync.exe_old"));
  EXPECT_FALSE(std::filesystem::exists(dir / "quorbin_sync.exe_new"));
}

// A company registered since July 2026: letters among the first twelve
// positions, stored punctuated and in lower case. The login sends the whole
// CNPJ, and the folder search finds the invoice whose file is not at its direct
// path by the document's emit/CNPJ.
TEST_P(StartUpTest, AlphanumericEmitterLogsInWholeAndItsInvoiceIsFoundBySearch) {
  Terminal terminal(GetParam(),
                    "UPDATE EMITENTE SET CNPJ = '12.abc.345/01de-35';\n"
                    "INSERT INTO CUPOM VALUES (1, 4321, 'not-at-its-direct-path', "
                    "'2026-11-10', '14:30:00', 0, 0, 0);\n");
  if (IsSkipped()) return;  // no PostgreSQL server here
  terminal.InstallPosProgram();
  terminal.WriteSettings(kDebugOn);
  const auto folder = terminal.drive_c() / "Tavrellis" / "PDV" / "NFCe" / "Validadas" / "202611";
  std::filesystem::create_directories(folder);
  testing::WriteBytes(folder / "nota.xml",
                      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                      "<nfeProc xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"4.00\">"
                      "<NFe><infNFe versao=\"4.00\" Id=\"NFe35261112ABC34501DE35650010000043211"
                      "000043215\"><ide><cNF>00004321</cNF></ide><emit><CNPJ>12ABC34501DE35"
                      "</CNPJ></emit></infNFe></NFe></nfeProc>\n");
  FakeApi api;
  auto& agent = terminal.agent();
  agent.Start();
  ASSERT_TRUE(
      WaitFor([&] { return Contains(terminal.LogMessages(), "Nota numero 4321 enviada."); }, 30s))
      << agent.StandardError() << ::testing::PrintToString(terminal.LogMessages());
  EXPECT_TRUE(Contains(terminal.LogMessages(),
                       "Nota não encontrada, tentando procurar pelas pastas... 12ABC34501DE35. "
                       "00004321"));
  const auto requests = api.Requests();
  ASSERT_GE(requests.size(), 2u);
  EXPECT_NE(requests.front().find("\"old\": true,\"cnpj\": \"12ABC34501DE35\",\"serie\": \"1\"}"),
            std::string::npos)
      << requests.front();
  EXPECT_NE(requests.back().find("\"emitente\":\"12ABC34501DE35\""), std::string::npos)
      << requests.back();
  EXPECT_EQ(terminal.database().Scalar("SELECT WEB_EX FROM CUPOM WHERE NUMERO = 1"), "1");
  agent.Signal(SIGTERM);
  EXPECT_EQ(agent.Wait(20s), 0);
}

// Six invoices that only the folder search finds, one of them also reached from
// a second root through a hard link, beside 150 damaged files, all older than
// the stillness a file needs to be remembered: each search after the first meets
// files it learned, one of them twice. Every invoice goes up once, under its own
// Id, and every row is marked. Three fresh terminals, as the order in which the
// files are remembered follows their stamps.
TEST(StartUpSearchTest, InvoicesFoundBySearchGoUpOnceEachWithTheirOwnId) {
  for (int run = 0; run < 3; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    std::string rows;
    for (int i = 1; i <= 6; ++i) {
      rows += "INSERT INTO CUPOM VALUES (" + std::to_string(i) + ", " + std::to_string(1000 + i) +
              ", 'elsewhere-" + std::to_string(i) + "', '2021-05-10', '14:30:00', 0, 0, 0);\n";
    }
    Terminal terminal(Backend::kOdbcSqlite, rows);
    terminal.InstallPosProgram();
    terminal.WriteSettings(kDebugOn);
    const auto nfce = terminal.drive_c() / "Tavrellis" / "PDV" / "NFCe";
    std::filesystem::create_directories(nfce / "Validadas" / "202105");
    std::filesystem::create_directories(nfce / "Contigencias" / "202399");
    std::filesystem::create_directories(nfce / "Transmitidas" / "202105");
    auto id = [](int i) { return "NFe352105123456780001906500100000" + std::to_string(1000 + i); };
    for (int i = 1; i <= 6; ++i) {
      testing::WriteBytes(nfce / "Validadas" / "202105" / ("nota-" + std::to_string(i) + ".xml"),
                          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<nfeProc xmlns=\"http://www.portalfiscal.inf.br/nfe\"><NFe><infNFe "
                          "Id=\"" +
                              id(i) + "\"><ide><cNF>0000" + std::to_string(1000 + i) +
                              "</cNF></ide><emit><CNPJ>12345678000190</CNPJ></emit></infNFe>"
                              "</NFe></nfeProc>\n");
    }
    std::filesystem::create_hard_link(nfce / "Validadas" / "202105" / "nota-3.xml",
                                      nfce / "Contigencias" / "202399" / "linked-nfe.xml");
    for (int i = 0; i < 150; ++i) {
      testing::WriteBytes(nfce / "Transmitidas" / "202105" / ("bad-" + std::to_string(i) + ".xml"),
                          "<NFe>\n<broken-" + std::to_string(i) + "></NFe>\n");
    }
    std::this_thread::sleep_for(2100ms);  // still long enough to be remembered
    FakeApi api;
    auto& agent = terminal.agent();
    agent.Start();
    ASSERT_TRUE(WaitFor(
        [&] {
          return terminal.database().Scalar("SELECT COUNT(*) FROM CUPOM WHERE WEB_EX = 1") == "6";
        },
        60s))
        << agent.StandardError() << ::testing::PrintToString(terminal.LogMessages());
    agent.Signal(SIGTERM);
    EXPECT_EQ(agent.Wait(20s), 0);
    std::vector<std::string> ids;
    for (const std::string& request : api.Requests()) {
      if (!request.starts_with("POST /api/pdv/receive/ ")) continue;
      const std::size_t at = request.find("\"nf_id\":\"");
      ASSERT_NE(at, std::string::npos) << request;
      ids.push_back(request.substr(at + 9, request.find('"', at + 9) - at - 9));
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<std::string>{id(1), id(2), id(3), id(4), id(5), id(6)}));
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, StartUpTest,
                         ::testing::Values(Backend::kOdbcSqlite, Backend::kFirebird,
                                           Backend::kOdbcPostgres),
                         [](const auto& info) { return testing::BackendName(info.param); });

TEST(StartUpOutcomeTest, ProgramAbsentLogsOnlyTheConnectionAndRunsOn) {
  Terminal terminal(Backend::kOdbcSqlite);
  terminal.WriteSettings(kDebugOn);
  FakeApi api;
  auto& agent = terminal.agent();
  agent.Start();
  ASSERT_TRUE(WaitFor([&] { return !terminal.LogMessages().empty(); }, 20s));
  std::this_thread::sleep_for(2s);
  EXPECT_EQ(terminal.LogMessages(), std::vector<std::string>{"Banco de dados - SQL SERVER"});
  EXPECT_TRUE(api.Requests().empty());
  EXPECT_TRUE(agent.Running());
  agent.Signal(SIGTERM);
  EXPECT_EQ(agent.Wait(20s), 0);
}

TEST(StartUpOutcomeTest, RefusedLoginIsReportedAndTheAgentRunsOnWithoutToken) {
  Terminal terminal(Backend::kOdbcSqlite);
  terminal.InstallPosProgram();
  terminal.WriteSettings(kDebugOn);
  FakeApi api(HttpAnswer("HTTP/1.1 500 Internal Server Error",
                         "Content-Type: text/html; charset=utf-8\r\n",
                         "<h1>Falha na sess\xC3\xA3o</h1>"));
  auto& agent = terminal.agent();
  agent.Start();
  const std::string refused = "Erro ao enviar Post JSON:HTTP/1.1 500 Internal Server Error. ";
  ASSERT_TRUE(WaitFor([&] { return Contains(terminal.LogMessages(), refused); }, 20s))
      << agent.StandardError();
  std::this_thread::sleep_for(1s);
  EXPECT_EQ(terminal.LogMessages(),
            (std::vector<std::string>{"Banco de dados - SQL SERVER", refused}));
  std::vector<std::filesystem::path> pages;
  for (const auto& entry :
       std::filesystem::directory_iterator(terminal.executable_directory() / "qb_errors")) {
    pages.push_back(entry.path());
  }
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_TRUE(pages[0].filename().string().starts_with("cs_Sync_"));
  EXPECT_EQ(testing::ReadBytes(pages[0]), "<h1>Falha na sess\xE3o</h1>\r\n");
  EXPECT_TRUE(agent.Running());
  agent.Signal(SIGTERM);
  EXPECT_EQ(agent.Wait(20s), 0);
}

// Without "DEBUG" the production host is used; the build's default cannot
// resolve.
TEST(StartUpOutcomeTest, UnreachableHostWritesThreeLinesAndEndsTenSecondsLater) {
  Terminal terminal(Backend::kOdbcSqlite);
  terminal.InstallPosProgram();
  auto& agent = terminal.agent();
  const auto started = std::chrono::steady_clock::now();
  agent.Start();
  EXPECT_EQ(agent.Wait(40s), 0) << agent.StandardError();
  const auto took = std::chrono::steady_clock::now() - started;
  EXPECT_GE(took, 10s);
  EXPECT_LT(took, 30s);
  const auto messages = terminal.LogMessages();
  ASSERT_GE(messages.size(), 4u);
  EXPECT_EQ(messages.front(), "Banco de dados - SQL SERVER");
  EXPECT_TRUE(messages[1].starts_with("Socket Error # ")) << messages[1];
  EXPECT_EQ(messages[messages.size() - 2], "") << "the login answer, empty";
  EXPECT_TRUE(messages.back().starts_with("Envio para api: {\"guid\": \"")) << messages.back();
}

// The login's values are read before anything is built or sent: a statement that
// fails there leaves an empty answer and an empty body for the log.
TEST(StartUpOutcomeTest, LoginValuesThatCannotBeReadWriteThreeLinesAndEndWithoutARequest) {
  Terminal terminal(Backend::kOdbcSqlite);
  terminal.database().Execute("DROP TABLE EMITENTE");
  terminal.InstallPosProgram();
  terminal.WriteSettings(kDebugOn);
  FakeApi api;
  auto& agent = terminal.agent();
  agent.Start();
  EXPECT_EQ(agent.Wait(40s), 0) << agent.StandardError();
  const auto messages = terminal.LogMessages();
  ASSERT_EQ(messages.size(), 4u);
  EXPECT_EQ(messages[0], "Banco de dados - SQL SERVER");
  EXPECT_NE(messages[1].find("EMITENTE"), std::string::npos) << messages[1];
  EXPECT_EQ(messages[2], "") << "the login answer, empty";
  EXPECT_EQ(messages[3], "Envio para api: ") << "the login body, not built";
  EXPECT_TRUE(api.Requests().empty());
}

TEST(StartUpOutcomeTest, NoDatabaseShowsTheFailureAndTheAgentRunsOn) {
  Terminal terminal(Backend::kOdbcSqlite);
  terminal.InstallPosProgram();
  auto& agent = terminal.agent();
  // No SQL Server driver registered and no Firebird database file.
  agent.SetEnv("ODBCSYSINI", terminal.executable_directory().string());
  agent.Start();
  ASSERT_TRUE(WaitFor([&] { return !agent.StandardError().empty(); }, 20s));
  EXPECT_NE(agent.StandardError().find("VELPDV.FDB"), std::string::npos) << agent.StandardError();
  std::this_thread::sleep_for(2s);
  EXPECT_TRUE(agent.Running());
  for (const auto& message : terminal.LogMessages()) {
    EXPECT_EQ(message.find("Banco de dados"), std::string::npos);
  }
  agent.Signal(SIGTERM);
  EXPECT_EQ(agent.Wait(20s), 0);
}

}  // namespace
}  // namespace quorbin
