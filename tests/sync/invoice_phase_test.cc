// The invoice phase against the three real databases and the scripted server: every
// outcome of a row, the failed-note list across passes and restarts, the row
// updates that fail, the OFFLINE switch and where copies of failed files go.
#include "sync/invoice_phase.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <set>

#include "libxml_without_memory.h"
#include "phase_fixture.h"
#include "store/firebird_session.h"
#include "sync_fixture.h"
#include "testing/agent_process.h"
#include "testing/firebird_fixture.h"
#include "testing/postgres_fixture.h"

namespace quorbin::testing {
namespace {

namespace fs = std::filesystem;

const std::string kRefusedPage = "<p>Falha \xC3\xA7</p>\n<p>linha 2</p>";

std::vector<std::string> SearchLines(int number) {
  char padded[16];
  std::snprintf(padded, sizeof padded, "%.8d", number);
  return {"Nota não encontrada, tentando procurar pelas pastas... " + std::string(kEmitterDigits) +
              ". " + padded,
          "Procurando na Validadas...", "Contigencias...", "Transmitidas...", "Canceladas..."};
}

std::vector<std::string> Joined(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::string RefusedAnswer() {
  return HttpAnswer("HTTP/1.1 500 Internal Server Error",
                    "Content-Type: text/html; charset=utf-8\r\n", kRefusedPage);
}

class InvoicePhaseTest : public PhaseTest {
 protected:
  std::string Page(const std::string& number_text) const {
    return (error_folder() / ("cs_Sync_" + number_text + "_2026.html")).string();
  }
};

// One row of the outcome table, with what the phase must leave behind.
struct Outcome {
  std::string name;
  int nfce_num;
  std::vector<std::string> lines;
  const char* web_ex_after;
  std::size_t times_in_list;
  bool pause;
};

TEST_P(InvoicePhaseTest, EveryOutcomeOfARowAndTheFailedNoteListAcrossPasses) {
  const fs::path elsewhere = exe_dir / "outros";
  fs::create_directories(elsewhere);
  // A key that climbs out of the month folder, and one that names a file whose
  // name holds backslashes: their copies must land directly in qb_errors.
  const std::string climbing_key = "../../../../../outros/" + InvoiceKey(114);
  const fs::path backslashed = elsewhere / "a\\..\\..\\fuga.xml";
  const fs::path by_key = elsewhere / "nota111.xml";

  int numero = 100;
  std::vector<Outcome> table;
  auto row = [&](Outcome outcome, std::optional<int> nfce_num, int offline, int cancelado,
                 const std::string& key) {
    InsertRow(numero--, nfce_num, offline, cancelado, key);
    table.push_back(std::move(outcome));
  };

  PutInvoice("Transmitidas/202205/" + InvoiceKey(101) + "-nfe.xml", InvoiceDocument(101));
  row({"sent",
       101,
       {"Caminho: " + Direct("Transmitidas", 101),
        "Arquivo encontrado em: " + Direct("Transmitidas", 101), "Nota numero 101 enviada."},
       "1",
       0,
       true},
      101, 0, 0, InvoiceKey(101));

  PutInvoice("Canceladas/202205/" + InvoiceKey(102) + "-nfe.xml", InvoiceDocument(102));
  row({"cancelled",
       102,
       {"Caminho: " + Direct("Canceladas", 102),
        "Arquivo encontrado em: " + Direct("Canceladas", 102),
        "Nota numero 102 cancelada no servidor."},
       "1",
       0,
       true},
      102, 0, 1, InvoiceKey(102));

  PutInvoice("Transmitidas/202205/" + InvoiceKey(103) + "-nfe.xml", InvoiceDocument(103));
  row({"refused",
       103,
       {"Caminho: " + Direct("Transmitidas", 103),
        "Arquivo encontrado em: " + Direct("Transmitidas", 103),
        "Erro ao enviar Post JSON:HTTP/1.1 500 Internal Server Error. ",
        "Nota numero 103 Erro: " + Page("103")},
       "0",
       2,
       true},
      103, 0, 0, InvoiceKey(103));

  PutInvoice("Transmitidas/202205/" + InvoiceKey(104) + "-nfe.xml", InvoiceDocument(104));
  row({"success_other_than_200",
       104,
       {"Caminho: " + Direct("Transmitidas", 104),
        "Arquivo encontrado em: " + Direct("Transmitidas", 104),
        "Nota numero 104 Erro: " + Page("104")},
       "0",
       1,
       true},
      104, 0, 0, InvoiceKey(104));

  row({"contingency_file_missing", 105,
       Joined({{"Caminho: " + Direct("Contingencias", 105)},
               SearchLines(105),
               {"Arquivo não encontrado: . Numero da nota: 105. Talvez algum problema com a "
                "contingência? Irei aguardar."}}),
       "0", 0, false},
      105, 1, 1, InvoiceKey(105));

  row({"file_missing_given_up", 106,
       Joined({{"Caminho: " + Direct("Transmitidas", 106)},
               SearchLines(106),
               {"Arquivo não encontrado: . Numero da nota: 106. A nota não será enviada."}}),
       "1", 0, false},
      106, 0, 0, InvoiceKey(106));

  const fs::path searched = PutInvoice("Validadas/2022/nota107.xml", InvoiceDocument(107));
  row({"found_by_search", 107,
       Joined({{"Caminho: " + Direct("Transmitidas", 107)},
               SearchLines(107),
               {"Arquivo encontrado em: " + searched.string(), "Nota numero 107 enviada."}}),
       "1", 0, true},
      107, 0, 0, InvoiceKey(107));

  PutInvoice("Contingencias/202205/" + InvoiceKey(108) + "-nfe.xml", "<nfeProc><NFe>");
  row({"not_well_formed",
       108,
       {"Caminho: " + Direct("Contingencias", 108),
        "Arquivo encontrado em: " + Direct("Contingencias", 108), kUnhealthy, kImportFailed + "*"},
       "1",
       0,
       true},
      108, 1, 0, InvoiceKey(108));

  PutInvoice("Transmitidas/202205/" + InvoiceKey(109) + "-nfe.xml", InvoiceDocument(109, false));
  row({"without_id",
       109,
       {"Caminho: " + Direct("Transmitidas", 109),
        "Arquivo encontrado em: " + Direct("Transmitidas", 109), kUnhealthy, kImportFailed + "*"},
       "1",
       0,
       true},
      109, 0, 0, InvoiceKey(109));

  PutInvoice("Transmitidas/202205/" + InvoiceKey(110) + "-nfe.xml", InvoiceDocument(110));
  row({"null_number",
       0,
       {"Caminho: " + Direct("Transmitidas", 110),
        "Arquivo encontrado em: " + Direct("Transmitidas", 110), "Nota numero  enviada."},
       "1",
       0,
       true},
      std::nullopt, 0, 0, InvoiceKey(110));

  WriteBytes(by_key, InvoiceDocument(111));
  row({"key_is_the_path",
       111,
       {"Arquivo encontrado em: " + by_key.string(), "Nota numero 111 enviada."},
       "1",
       0,
       true},
      111, 2, 0, by_key.string());

  row({"key_is_a_missing_path",
       112,
       {"Arquivo encontrado em: nota112.xml",
        "Arquivo não encontrado: nota112.xml. Numero da nota: 112. A nota não será enviada."},
       "1",
       0,
       true},
      112, 2, 0, "nota112.xml");

  WriteBytes(backslashed, "<NFe>");
  row({"copy_name_after_a_backslash",
       113,
       {"Arquivo encontrado em: " + backslashed.string(), kUnhealthy, kImportFailed + "*"},
       "1",
       0,
       true},
      113, 2, 0, backslashed.string());

  const fs::path climbed = drive_c() / "outros" / (InvoiceKey(114) + "-nfe.xml");
  fs::create_directories(climbed.parent_path());
  WriteBytes(climbed, "<NFe>");
  const std::string climbing_path =
      (nfce() / "Transmitidas" / "202205" / (climbing_key + "-nfe.xml")).string();
  row({"key_climbing_out_of_its_folder",
       114,
       {"Caminho: " + climbing_path, "Arquivo encontrado em: " + climbing_path, kUnhealthy,
        kImportFailed + "*"},
       "1",
       0,
       true},
      114, 0, 0, climbing_key);

  ScriptAnswers({{"NFe" + InvoiceKey(103), ScriptedAnswer(RefusedAnswer())},
                 {"NFe" + InvoiceKey(104), ScriptedAnswer(HttpAnswer("HTTP/1.1 201 Created"))}});

  pass().Run();

  std::vector<std::string> expected;
  std::vector<PhasePump::Pause> pauses;
  for (const Outcome& outcome : table) {
    expected.insert(expected.end(), outcome.lines.begin(), outcome.lines.end());
    if (outcome.pause) pauses.push_back({kInvoicePauseMs, expected.size()});
  }
  ExpectMessages(messages(), expected);
  EXPECT_EQ(pump.pauses, pauses);
  for (std::size_t i = 0; i < table.size(); ++i) {
    SCOPED_TRACE(table[i].name);
    EXPECT_EQ(WebEx(100 - static_cast<int>(i)), table[i].web_ex_after);
    EXPECT_EQ(pass().lNotasComErro().Count(table[i].nfce_num), table[i].times_in_list);
  }

  // What the server received: the rows with a usable file, in row order, with
  // the emitter's CNPJ only once a search of this pass has read it.
  const std::vector<std::string> bodies = RequestBodies();
  const std::vector<int> posted = {101, 102, 103, 104, 107, 110, 111};
  ASSERT_EQ(bodies.size(), posted.size());
  for (std::size_t i = 0; i < posted.size(); ++i) {
    EXPECT_EQ(PostedInvoiceId(bodies[i]), "NFe" + InvoiceKey(posted[i]));
    EXPECT_EQ(PostedMember(bodies[i], "emitente"), posted[i] < 107 ? "" : kEmitterDigits);
  }
  EXPECT_EQ(Requests()[0].rfind("POST /api/pdv/receive/ HTTP/1.0\r\n", 0), 0u);
  EXPECT_NE(Requests()[0].find("\r\nAuthorization: Token t0k3n\r\n"), std::string::npos);

  // The error folder: one page, for the refused invoice, and the copies of the
  // failed files under their own names; nothing written outside it.
  std::set<std::string> in_error_folder;
  for (const auto& entry : fs::directory_iterator(error_folder())) {
    in_error_folder.insert(entry.path().filename().string());
  }
  EXPECT_EQ(in_error_folder,
            (std::set<std::string>{"cs_Sync_103_2026.html", InvoiceKey(108) + "-nfe.xml",
                                   InvoiceKey(109) + "-nfe.xml", "fuga.xml",
                                   InvoiceKey(114) + "-nfe.xml"}));
  EXPECT_EQ(ReadBytes(error_folder() / "cs_Sync_103_2026.html"),
            "<p>Falha \xE7</p>\r\n<p>linha 2</p>\r\n");
  EXPECT_EQ(ReadBytes(error_folder() / "fuga.xml"), "<NFe>");
  std::set<std::string> beside_executable;
  for (const auto& entry : fs::directory_iterator(exe_dir.path())) {
    beside_executable.insert(entry.path().filename().string());
  }
  EXPECT_EQ(beside_executable, (std::set<std::string>{"log_sync.txt", "qb_errors", "outros"}));
  EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere), fs::directory_iterator()), 2);

  // The next pass selects the pending rows again: the refused numbers are
  // located but not posted, the contingency row is waited for again.
  const std::size_t lines_before = messages().size();
  pump.pauses.clear();
  pass().Run();
  const std::vector<std::string> all = messages();
  const std::vector<std::string> second(all.begin() + static_cast<long>(lines_before), all.end());
  ExpectMessages(second, Joined({{"Caminho: " + Direct("Transmitidas", 103),
                                  "Arquivo encontrado em: " + Direct("Transmitidas", 103),
                                  "Caminho: " + Direct("Transmitidas", 104),
                                  "Arquivo encontrado em: " + Direct("Transmitidas", 104)},
                                 table[4].lines}));
  EXPECT_EQ(server.ConnectionCount(), posted.size());
  EXPECT_EQ(pass().lNotasComErro().Count(103), 2u);
  EXPECT_EQ(pass().lNotasComErro().Count(104), 1u);
  EXPECT_EQ(pump.pauses.size(), 2u);

  // After a restart the list is empty and both are posted again.
  NewPass().Run();
  ASSERT_EQ(server.ConnectionCount(), posted.size() + 2);
  EXPECT_EQ(PostedInvoiceId(RequestBodies()[posted.size()]), "NFe" + InvoiceKey(103));
  EXPECT_EQ(PostedMember(RequestBodies()[posted.size()], "emitente"), "");
  EXPECT_EQ(pass().lNotasComErro().Count(103), 2u);
  EXPECT_EQ(pass().lNotasComErro().Count(104), 1u);
  EXPECT_EQ(WebEx(98), "0");
  EXPECT_EQ(WebEx(97), "0");
}

TEST_P(InvoicePhaseTest, ServerUnreachableLeavesRowsPendingAndOutOfTheList) {
  PutInvoice("Transmitidas/202205/" + InvoiceKey(201) + "-nfe.xml", InvoiceDocument(201));
  PutInvoice("Transmitidas/202205/" + InvoiceKey(202) + "-nfe.xml", InvoiceDocument(202));
  InsertRow(2, 201, 0, 0, InvoiceKey(201));
  InsertRow(1, 202, 0, 0, InvoiceKey(202));
  fs::create_directories(error_folder());
  WriteBytes(error_folder() / (InvoiceKey(201) + "-nfe.xml"), "older copy");
  api->SetBaseUrl("http://127.0.0.1:1/api/");

  pass().Run();

  const std::string refused = kImportFailed + "Socket Error # 111\r\nConnection refused.";
  ExpectMessages(messages(), {"Caminho: " + Direct("Transmitidas", 201),
                              "Arquivo encontrado em: " + Direct("Transmitidas", 201), refused,
                              "Caminho: " + Direct("Transmitidas", 202),
                              "Arquivo encontrado em: " + Direct("Transmitidas", 202), refused});
  EXPECT_EQ(WebEx(2), "0");
  EXPECT_EQ(WebEx(1), "0");
  EXPECT_EQ(pass().lNotasComErro().size(), 0u);
  EXPECT_EQ(pump.pauses, (std::vector<PhasePump::Pause>{{500, 3}, {500, 6}}));
  // The copy replaces an older one of the same name.
  EXPECT_EQ(ReadBytes(error_folder() / (InvoiceKey(201) + "-nfe.xml")), InvoiceDocument(201));
  EXPECT_TRUE(fs::exists(error_folder() / (InvoiceKey(202) + "-nfe.xml")));

  // Once the server is back, the next pass posts both.
  api->SetBaseUrl(server.Url("/api/"));
  pass().Run();
  EXPECT_EQ(server.ConnectionCount(), 2u);
  EXPECT_EQ(WebEx(2), "1");
  EXPECT_EQ(WebEx(1), "1");
}

TEST_P(InvoicePhaseTest, UpdateFailingAfterA200LeavesTheRowForTheNextPassAndGoesOn) {
  PutInvoice("Transmitidas/202205/" + InvoiceKey(77) + "-nfe.xml", InvoiceDocument(77));
  PutInvoice("Transmitidas/202205/" + InvoiceKey(78) + "-nfe.xml", InvoiceDocument(78));
  InsertRow(2, 77, 0, 0, InvoiceKey(77));
  InsertRow(1, 78, 0, 0, InvoiceKey(78));
  BlockUpdates("CUPOM", "NFCE_NUM", 77);

  pass().Run();

  ExpectMessages(
      messages(),
      {"Caminho: " + Direct("Transmitidas", 77),
       "Arquivo encontrado em: " + Direct("Transmitidas", 77), "Nota numero 77 enviada.",
       kImportFailed + "*", "Caminho: " + Direct("Transmitidas", 78),
       "Arquivo encontrado em: " + Direct("Transmitidas", 78), "Nota numero 78 enviada."});
  EXPECT_NE(messages()[3].find("bloqueada"), std::string::npos) << messages()[3];
  EXPECT_EQ(WebEx(2), "0");
  EXPECT_EQ(WebEx(1), "1");
  EXPECT_FALSE(pass().lNotasComErro().Contains(77));
  EXPECT_TRUE(fs::exists(error_folder() / (InvoiceKey(77) + "-nfe.xml")));

  // Not in the list: the next pass uploads it again.
  UnblockUpdates("CUPOM");
  pass().Run();
  ASSERT_EQ(server.ConnectionCount(), 3u);
  EXPECT_EQ(PostedInvoiceId(RequestBodies()[2]), "NFe" + InvoiceKey(77));
  EXPECT_EQ(WebEx(2), "1");
}

// A row given up whose update fails (here a trigger refuses it) is logged like
// the row's own failure and stays pending; the phase goes on with the next row,
// and a later pass gives it up once the update goes through.
TEST_P(InvoicePhaseTest, GivingUpARowWhoseUpdateFailsLeavesItPendingAndGoesOn) {
  PutInvoice("Transmitidas/202205/" + InvoiceKey(78) + "-nfe.xml", InvoiceDocument(78));
  InsertRow(2, 77, 0, 0, InvoiceKey(77));
  InsertRow(1, 78, 0, 0, InvoiceKey(78));
  BlockUpdates("CUPOM", "NFCE_NUM", 77);

  pass().Run();

  // The missing file is given up, which fails: the update is tried once, its
  // failure logged, and the file is not called unhealthy.
  ExpectMessages(messages(),
                 Joined({{"Caminho: " + Direct("Transmitidas", 77)},
                         SearchLines(77),
                         {"Arquivo não encontrado: . Numero da nota: 77. A nota não será enviada.",
                          kImportFailed + "*", "Caminho: " + Direct("Transmitidas", 78),
                          "Arquivo encontrado em: " + Direct("Transmitidas", 78),
                          "Nota numero 78 enviada."}}));
  const std::size_t failed_at = SearchLines(77).size() + 2;
  EXPECT_NE(messages().at(failed_at).find("bloqueada"), std::string::npos)
      << messages().at(failed_at);
  EXPECT_EQ(WebEx(2), "0");
  EXPECT_EQ(WebEx(1), "1");
  EXPECT_EQ(server.ConnectionCount(), 1u);

  UnblockUpdates("CUPOM");
  pass().Run();
  EXPECT_EQ(WebEx(2), "1");
}

// A table without a usable key: no row can be marked, yet every row is still
// tried in every pass; the rows given up first do not stop the others.
TEST_P(InvoicePhaseTest, TableWithoutAUsableKeyStopsNoRowOfThePhase) {
  std::string keyless = PosTable("CUPOM");
  const std::string primary_key = "NUMERO INTEGER NOT NULL PRIMARY KEY";
  keyless.replace(keyless.find(primary_key), primary_key.size(), "NUMERO INTEGER");
  database->Execute("DROP TABLE CUPOM;\n" + keyless);
  PutInvoice("Transmitidas/202205/" + InvoiceKey(82) + "-nfe.xml", InvoiceDocument(82, false));
  PutInvoice("Transmitidas/202205/" + InvoiceKey(83) + "-nfe.xml", InvoiceDocument(83));
  PutInvoice("Transmitidas/202205/" + InvoiceKey(84) + "-nfe.xml", InvoiceDocument(84));
  InsertRow(4, 81, 0, 0, InvoiceKey(81));
  InsertRow(3, 82, 0, 0, InvoiceKey(82));
  InsertRow(2, 83, 0, 0, InvoiceKey(83));
  InsertRow(1, 84, 0, 0, InvoiceKey(84));

  pass().Run();

  // The table as the server names it: PostgreSQL folds the unquoted name.
  const std::string table = backend() == Backend::kOdbcPostgres ? "cupom" : "CUPOM";
  const std::string no_key = kImportFailed + "fbquery: Table '" + table +
                             "' has no primary key, so its rows cannot be updated";
  auto found = [&](int number) {
    return std::vector<std::string>{"Caminho: " + Direct("Transmitidas", number),
                                    "Arquivo encontrado em: " + Direct("Transmitidas", number)};
  };
  ExpectMessages(
      messages(),
      Joined({{"Caminho: " + Direct("Transmitidas", 81)},
              SearchLines(81),
              {"Arquivo não encontrado: . Numero da nota: 81. A nota não será enviada.", no_key},
              found(82),
              {kUnhealthy, no_key, kImportFailed + "*"},
              found(83),
              {"Nota numero 83 enviada.", no_key},
              found(84),
              {"Nota numero 84 enviada.", no_key}}));
  for (const int numero : {4, 3, 2, 1}) EXPECT_EQ(WebEx(numero), "0") << numero;
  ASSERT_EQ(server.ConnectionCount(), 2u);
  EXPECT_EQ(PostedInvoiceId(RequestBodies()[0]), "NFe" + InvoiceKey(83));
  EXPECT_EQ(PostedInvoiceId(RequestBodies()[1]), "NFe" + InvoiceKey(84));

  // The next pass tries every row again.
  pass().Run();
  EXPECT_EQ(server.ConnectionCount(), 4u);
}

// Another session on the test's database that locks rows and holds the locks,
// uncommitted, until Release (or the end of the scope): the database's own shell
// (`shell`, reading statements from its input) runs `lock` and then prints
// "held", and rolls back once the file "release" exists or the test program has
// ended (killed, it never writes that file).
class RowLock {
 public:
  RowLock(const std::string& shell, const std::string& lock) {
    WriteBytes(folder_ / "lock.sql", lock + "\nSELECT 'held' AS mark FROM " + kOneRowTable + ";\n");
    // True while this test program runs.
    const std::string test_alive = "[ -d /proc/" + std::to_string(getpid()) + " ]";
    WriteBytes(folder_ / "hold.sh",
               "cd \"$(dirname \"$0\")\"\n"
               "(cat lock.sql; while [ ! -e release ] && " +
                   test_alive + "; do sleep 0.1; done; echo 'ROLLBACK;') |\n  stdbuf -oL " + shell +
                   " > output 2>&1\ntouch ended\n");
    RunCommand("sh " + ShellQuote((folder_ / "hold.sh").string()) + " > /dev/null 2>&1 &");
    held_ = WaitFor([&] { return ReadOutput().find("held") != std::string::npos; }, kWait);
  }
  ~RowLock() { Release(); }
  RowLock(const RowLock&) = delete;
  RowLock& operator=(const RowLock&) = delete;

  bool held() const { return held_; }
  std::string ReadOutput() const {
    return fs::exists(folder_ / "output") ? ReadBytes(folder_ / "output") : std::string();
  }
  void Release() {
    WriteBytes(folder_ / "release", "");
    WaitFor([&] { return fs::exists(folder_ / "ended"); }, kWait);
  }

 private:
  // A table of one row that both servers know.
  static constexpr const char* kOneRowTable = "EMITENTE";

  static constexpr std::chrono::seconds kWait{20};

  TempDir folder_;
  bool held_ = false;
};

// Rows given up while another session holds their locks, one whose file is
// missing and one whose file is unusable: each update waits for the lock
// time-out once (Firebird's of the transaction, psqlODBC's query time-out),
// fails, and the phase goes on with the next row. Not on SQLite: its ODBC driver
// does not take the query time-out, and its own wait for a locked file lasts
// minutes.
TEST_P(InvoicePhaseTest, GivingUpRowsLockedByAnotherSessionWaitsTheTimeOutOnceEachAndGoesOn) {
  if (backend() == Backend::kOdbcSqlite) GTEST_SKIP() << "SQLite waits minutes for a lock";
  PutInvoice("Transmitidas/202205/" + InvoiceKey(91) + "-nfe.xml", InvoiceDocument(91, false));
  PutInvoice("Transmitidas/202205/" + InvoiceKey(92) + "-nfe.xml", InvoiceDocument(92));
  InsertRow(3, 90, 0, 0, InvoiceKey(90));
  InsertRow(2, 91, 0, 0, InvoiceKey(91));
  InsertRow(1, 92, 0, 0, InvoiceKey(92));
  const bool firebird = backend() == Backend::kFirebird;
  const std::string firebird_file =
      (database->DriveC() / "Tavrellis" / "PDV" / "BD" / "VELPDV.FDB").string();
  RowLock lock(firebird ? "isql-fb -q -user SYSDBA -password " + std::string(kFirebirdPassword)
                        : testing::Psql("VELPDV"),
               firebird ? "CONNECT 'localhost:" + firebird_file +
                              "';\nSET AUTODDL OFF;\nUPDATE CUPOM SET WEB_EX = 0 WHERE NUMERO "
                              "IN (2, 3);"
                        : "BEGIN;\nSELECT 1 FROM cupom WHERE numero IN (2, 3) FOR UPDATE;");
  ASSERT_TRUE(lock.held()) << lock.ReadOutput();

  const auto started = std::chrono::steady_clock::now();
  pass().Run();
  const auto waited = std::chrono::steady_clock::now() - started;

  ExpectMessages(
      messages(),
      Joined(
          {{"Caminho: " + Direct("Transmitidas", 90)},
           SearchLines(90),
           {"Arquivo não encontrado: . Numero da nota: 90. A nota não será enviada.",
            kImportFailed + "*", "Caminho: " + Direct("Transmitidas", 91),
            "Arquivo encontrado em: " + Direct("Transmitidas", 91), kUnhealthy, kImportFailed + "*",
            kImportFailed + "*", "Caminho: " + Direct("Transmitidas", 92),
            "Arquivo encontrado em: " + Direct("Transmitidas", 92), "Nota numero 92 enviada."}}));
  const std::size_t missing_at = SearchLines(90).size() + 2;
  for (const std::size_t at : {missing_at, missing_at + 4}) {
    EXPECT_NE(messages().at(at).find(firebird ? "concurrent" : "statement timeout"),
              std::string::npos)
        << messages().at(at);
  }
  // Both time-outs are 30 s, waited once for each row.
  EXPECT_GE(waited, std::chrono::seconds(2 * kFirebirdLockTimeoutSeconds - 2));
  EXPECT_LT(waited, std::chrono::seconds(2 * kFirebirdLockTimeoutSeconds + 20));
  EXPECT_TRUE(fs::exists(error_folder() / (InvoiceKey(91) + "-nfe.xml")));
  EXPECT_EQ(WebEx(1), "1");

  // Once the other session lets go, the next pass gives the rows up.
  lock.Release();
  EXPECT_EQ(WebEx(3), "0");
  EXPECT_EQ(WebEx(2), "0");
  pass().Run();
  EXPECT_EQ(WebEx(3), "1");
  EXPECT_EQ(WebEx(2), "1");
}

// The database server restarts in the middle of the phase, twice, and then
// between two passes: the statement that meets the ended session (the emitter's
// select of a folder search, a row's update after its upload, the next pass's
// first select) runs again on a new connection. Nothing is logged but the rows'
// own lines, every row is uploaded once and marked.
// PostgreSQL only: the server the tests can restart while a pass runs.
TEST_P(InvoicePhaseTest, ServerRestartedMidPhaseLogsNothingAndLosesNothing) {
  if (backend() != Backend::kOdbcPostgres) GTEST_SKIP() << "the restart is PostgreSQL's";
  if (geteuid() != 0) GTEST_SKIP() << "restarting the PostgreSQL server needs root";
  testing::PostgresLeftRunning server_left_running;
  for (const int number : {801, 803, 804}) {
    PutInvoice("Transmitidas/202205/" + InvoiceKey(number) + "-nfe.xml", InvoiceDocument(number));
  }
  const fs::path searched = PutInvoice("Validadas/2022/nota802.xml", InvoiceDocument(802));
  for (const int number : {801, 802, 803, 804}) {
    InsertRow(1000 - number, number, 0, 0, InvoiceKey(number));
  }
  // Before the second and the fourth row, known by the lines logged so far (the
  // pass also lets events run after every file its search examines).
  std::set<std::size_t> restart_after_lines = {3, 14};
  pump.on_pending = [&] {
    if (restart_after_lines.erase(messages().size()) == 0) return;
    EXPECT_EQ(testing::StopPostgres().exit_code, 0);
    EXPECT_EQ(testing::StartPostgres().exit_code, 0);
  };

  pass().Run();

  auto sent = [&](int number) {
    return std::vector<std::string>{"Caminho: " + Direct("Transmitidas", number),
                                    "Arquivo encontrado em: " + Direct("Transmitidas", number),
                                    "Nota numero " + std::to_string(number) + " enviada."};
  };
  ExpectMessages(
      messages(),
      Joined({sent(801),
              {"Caminho: " + Direct("Transmitidas", 802)},
              SearchLines(802),
              {"Arquivo encontrado em: " + searched.string(), "Nota numero 802 enviada."},
              sent(803),
              sent(804)}));
  EXPECT_TRUE(restart_after_lines.empty());
  EXPECT_EQ(server.ConnectionCount(), 4u);
  for (const int number : {801, 802, 803, 804}) EXPECT_EQ(WebEx(1000 - number), "1") << number;

  // A restart between two passes, after a pass that found nothing pending (its
  // last statement the select of the invoices): the next pass's first statement
  // meets it.
  const std::size_t lines_before = messages().size();
  pass().Run();
  ASSERT_EQ(messages().size(), lines_before);
  ASSERT_EQ(testing::StopPostgres().exit_code, 0);
  ASSERT_EQ(testing::StartPostgres().exit_code, 0);
  PutInvoice("Transmitidas/202205/" + InvoiceKey(805) + "-nfe.xml", InvoiceDocument(805));
  InsertRow(1000 - 805, 805, 0, 0, InvoiceKey(805));
  pass().Run();
  const std::vector<std::string> all = messages();
  ExpectMessages(std::vector<std::string>(all.begin() + static_cast<long>(lines_before), all.end()),
                 sent(805));
  EXPECT_EQ(WebEx(1000 - 805), "1");
}

TEST_P(InvoicePhaseTest, DatabaseFailureWhileLocatingLeavesTheRowPending) {
  PutInvoice("Validadas/" + InvoiceKey(55) + "-nfe.xml", InvoiceDocument(55));
  InsertRow(1, 55, 0, 0, InvoiceKey(55));
  // The search for the file reads the emitter, which the database cannot answer.
  database->Execute("DROP TABLE EMITENTE;");

  pass().Run();

  const std::vector<std::string> lines = messages();
  ASSERT_EQ(lines.size(), 2u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[0], "Caminho: " + Direct("Transmitidas", 55));
  EXPECT_EQ(lines[1].rfind(kImportFailed, 0), 0u) << lines[1];
  EXPECT_NE(lines[1].find(MissingTableText(backend(), "EMITENTE")), std::string::npos) << lines[1];
  EXPECT_EQ(WebEx(1), "0");
  EXPECT_EQ(server.ConnectionCount(), 0u);

  // Once the database answers again, the next pass finds and uploads it.
  database->Execute(PosTable("EMITENTE") + std::string(kPosEmitterRow));
  pass().Run();
  EXPECT_EQ(server.ConnectionCount(), 1u);
  EXPECT_EQ(WebEx(1), "1");
}

// Memory that runs out while the found file is read says nothing of the file:
// the row is not given up, and the next pass uploads it.
TEST_P(InvoicePhaseTest, AFileThatCannotBeReadForWantOfMemoryIsNotGivenUp) {
  // A byte-order mark sends the document to libxml2.
  PutInvoice("Transmitidas/202205/" + InvoiceKey(77) + "-nfe.xml",
             "\xEF\xBB\xBF" + InvoiceDocument(77));
  InsertRow(1, 77, 0, 0, InvoiceKey(77));
  {
    LibxmlWithoutMemory no_memory;
    pass().Run();
  }
  const std::vector<std::string> lines = messages();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), kUnhealthy), 0)
      << ::testing::PrintToString(lines);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back().rfind(kImportFailed, 0), 0u) << lines.back();
  EXPECT_EQ(WebEx(1), "0");
  EXPECT_EQ(server.ConnectionCount(), 0u);

  pass().Run();
  EXPECT_EQ(server.ConnectionCount(), 1u);
  EXPECT_EQ(WebEx(1), "1");
}

TEST_P(InvoicePhaseTest, RefusalWhosePageCannotBeWrittenLeavesTheRowPendingInTheListOnce) {
  PutInvoice("Transmitidas/202205/" + InvoiceKey(123) + "-nfe.xml", InvoiceDocument(123));
  InsertRow(1, 123, 0, 0, InvoiceKey(123));
  ScriptAnswers({{"NFe" + InvoiceKey(123), ScriptedAnswer(RefusedAnswer())}});
  // The error folder disappears after the phase made sure it exists.
  pump.on_pending = [this] { fs::remove_all(error_folder()); };

  pass().Run();

  ExpectMessages(messages(), {"Caminho: " + Direct("Transmitidas", 123),
                              "Arquivo encontrado em: " + Direct("Transmitidas", 123),
                              "Erro ao enviar Post JSON:HTTP/1.1 500 Internal Server Error. ",
                              kImportFailed + "*"});
  EXPECT_NE(messages()[3].find("cs_Sync_123_2026.html"), std::string::npos) << messages()[3];
  EXPECT_EQ(pass().lNotasComErro().Count(123), 1u);
  EXPECT_EQ(WebEx(1), "0");
}

TEST_P(InvoicePhaseTest, OfflineSwitchIsReadAnewByEveryPhase) {
  PutInvoice("Transmitidas/202205/" + InvoiceKey(301) + "-nfe.xml", InvoiceDocument(301));
  PutInvoice("Transmitidas/202205/" + InvoiceKey(302) + "-nfe.xml", InvoiceDocument(302));
  // numero and nfce_num in opposite orders.
  InsertRow(1, 302, 0, 0, InvoiceKey(302));
  InsertRow(2, 301, 0, 0, InvoiceKey(301));
  InsertRow(3, 303, 2, 0, "nota303.xml");
  auto posted_ids = [this] {
    std::vector<std::string> ids;
    for (const std::string& body : RequestBodies()) ids.push_back(PostedInvoiceId(body));
    return ids;
  };

  // OFFLINE=0: rows with offline = 2 are left out, the rest come by nfce_num.
  WriteBytes(settings_file(), "[MAIN]\r\nOFFLINE=0\r\n");
  pass().Run();
  EXPECT_EQ(posted_ids(),
            (std::vector<std::string>{"NFe" + InvoiceKey(302), "NFe" + InvoiceKey(301)}));
  EXPECT_EQ(messages().size(), 6u);
  EXPECT_EQ(WebEx(3), "0");

  // Without the key (default true): every pending row, by numero.
  database->Execute("UPDATE CUPOM SET WEB_EX = 0;");
  WriteBytes(settings_file(), "[MAIN]\r\nDEBUG=0\r\n");
  pass().Run();
  EXPECT_EQ(posted_ids(),
            (std::vector<std::string>{"NFe" + InvoiceKey(302), "NFe" + InvoiceKey(301),
                                      "NFe" + InvoiceKey(301), "NFe" + InvoiceKey(302)}));
  EXPECT_EQ(messages()[6], "Arquivo encontrado em: nota303.xml");
  EXPECT_EQ(WebEx(3), "1");
}

TEST_P(InvoicePhaseTest, PassRunsTheClosingsFirstAndEndsWhenTheirQueryFails) {
  PutInvoice("Transmitidas/202205/" + InvoiceKey(401) + "-nfe.xml", InvoiceDocument(401));
  InsertRow(1, 401, 0, 0, InvoiceKey(401));
  database->Execute("INSERT INTO FECHAMENTOS VALUES (9, '{\"fechamento\":9}', 0, NULL);");

  pass().Run();
  ExpectMessages(
      messages(),
      {"Fechamento numero 9 enviado.", "Caminho: " + Direct("Transmitidas", 401),
       "Arquivo encontrado em: " + Direct("Transmitidas", 401), "Nota numero 401 enviada."});
  EXPECT_EQ(RequestBodies().at(0), "{\"fechamento\":9}");

  database->Execute("UPDATE CUPOM SET WEB_EX = 0; DROP TABLE FECHAMENTOS;");
  EXPECT_THROW(pass().Run(), Failure);
  EXPECT_EQ(messages().size(), 4u);
  EXPECT_EQ(server.ConnectionCount(), 2u);
  EXPECT_EQ(WebEx(1), "0");
}

TEST_P(InvoicePhaseTest, PassStartedFromAnEventInsideAPassDoesNotRun) {
  PutInvoice("Transmitidas/202205/" + InvoiceKey(501) + "-nfe.xml", InvoiceDocument(501));
  PutInvoice("Transmitidas/202205/" + InvoiceKey(502) + "-nfe.xml", InvoiceDocument(502));
  InsertRow(2, 501, 0, 0, InvoiceKey(501));
  InsertRow(1, 502, 0, 0, InvoiceKey(502));
  int nested = 0;
  pump.on_pending = [&] {
    ++nested;
    pass().Run();
  };

  pass().Run();

  EXPECT_EQ(nested, 2);
  EXPECT_EQ(server.ConnectionCount(), 2u);
  EXPECT_EQ(messages().size(), 6u);
}

// A row is read once, but a column that cannot be read fails the row where the
// column is first needed: `nfce_num` after the location's lines (and, in a
// search, before its first line), `data` of an `offline` = 2 row only after its
// file loaded, its `cancelado` only after the server's 200.
TEST_P(InvoicePhaseTest, ColumnsThatCannotBeReadFailTheRowWhereTheyAreFirstNeeded) {
  database->Execute(
      "DROP TABLE CUPOM;\n"
      "CREATE TABLE CUPOM (NUMERO INTEGER NOT NULL PRIMARY KEY, NFCE_NUM VARCHAR(12),"
      " CHAVE_NFCE VARCHAR(250), DATA VARCHAR(12), HORA TIME, OFFLINE INTEGER,"
      " CANCELADO VARCHAR(3), WEB_EX INTEGER);");
  auto insert = [&](int numero, const std::string& nfce_num, const std::string& key,
                    const std::string& data, int offline, const std::string& cancelado) {
    database->Execute("INSERT INTO CUPOM VALUES (" + std::to_string(numero) + ", '" + nfce_num +
                      "', '" + key + "', " + data + ", NULL, " + std::to_string(offline) + ", '" +
                      cancelado + "', 0);");
  };
  const fs::path elsewhere = exe_dir / "outros";
  fs::create_directories(elsewhere);
  auto by_key = [&](const std::string& name, const std::string& text) {
    WriteBytes(elsewhere / name, text);
    return (elsewhere / name).string();
  };
  const std::string direct =
      PutInvoice("Transmitidas/189912/" + InvoiceKey(601) + "-nfe.xml", InvoiceDocument(601))
          .string();
  insert(6, "seis", InvoiceKey(601), "NULL", 0, "0");
  insert(5, "cinco", InvoiceKey(602), "NULL", 0, "0");
  const std::string dated = by_key("nota603.xml", InvoiceDocument(603));
  insert(4, "603", dated, "'ontem'", 2, "N");
  const std::string broken = by_key("nota604.xml", "<nfeProc><NFe>");
  insert(3, "604", broken, "'ontem'", 2, "N");
  const std::string posted = by_key("nota605.xml", InvoiceDocument(605));
  insert(2, "605", posted, "NULL", 2, "N");
  insert(1, "606", InvoiceKey(606), "NULL", 0, "N");

  pass().Run();

  const std::string not_a_date = "The column cannot be read as a date-time";
  ExpectMessages(
      messages(),
      {"Caminho: " + direct, "Arquivo encontrado em: " + direct, kUnhealthy,
       kImportFailed + "'seis' is not a valid integer value",
       "Caminho: " + (nfce() / "Transmitidas" / "189912" / (InvoiceKey(602) + "-nfe.xml")).string(),
       kUnhealthy, kImportFailed + "'cinco' is not a valid integer value",
       "Arquivo encontrado em: " + dated, kUnhealthy, kImportFailed + not_a_date,
       "Arquivo encontrado em: " + broken, kUnhealthy, kImportFailed + "*",
       "Arquivo encontrado em: " + posted, kImportFailed + "'N' is not a valid integer value",
       kUnhealthy, kImportFailed + "'N' is not a valid integer value"});
  EXPECT_EQ(messages()[12].find(not_a_date), std::string::npos) << messages()[12];
  for (const int numero : {6, 5, 4, 3, 1}) EXPECT_EQ(WebEx(numero), "1") << numero;
  EXPECT_EQ(WebEx(2), "0");
  ASSERT_EQ(server.ConnectionCount(), 1u);
  EXPECT_EQ(PostedInvoiceId(RequestBodies()[0]), "NFe" + InvoiceKey(605));
  // Only rows with a path leave a copy.
  for (const std::string& name : {InvoiceKey(601) + "-nfe.xml", std::string("nota603.xml"),
                                  std::string("nota604.xml"), std::string("nota605.xml")}) {
    EXPECT_TRUE(fs::exists(error_folder() / name)) << name;
  }
  EXPECT_EQ(pump.pauses.size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(Backends, InvoicePhaseTest,
                         ::testing::Values(Backend::kFirebird, Backend::kOdbcSqlite,
                                           Backend::kOdbcPostgres),
                         BackendParamName);

}  // namespace
}  // namespace quorbin::testing
