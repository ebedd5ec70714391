// The closing phase against the three real databases and the scripted server: what
// each answer does to a closing, the body's repairs and code page, an unreachable
// server, and row updates or error pages that fail.
#include "sync/closing_phase.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "phase_fixture.h"
#include "support/failure.h"
#include "sync_fixture.h"

namespace quorbin::testing {
namespace {

namespace fs = std::filesystem;

class ClosingPhaseTest : public PhaseTest {
 protected:
  // `json` is an SQL literal (or NULL).
  void InsertClosing(int codigo, const std::string& json) {
    database->Execute("INSERT INTO FECHAMENTOS VALUES (" + std::to_string(codigo) + ", " + json +
                      ", 0, NULL);");
  }
  std::string Column(const std::string& column, int codigo) {
    return database->Scalar("SELECT " + column +
                            " FROM FECHAMENTOS WHERE CODIGO = " + std::to_string(codigo));
  }
};

TEST_P(ClosingPhaseTest, AnswerDecidesWhatHappensToEachClosing) {
  InsertClosing(1, "'{\"f\":1}'");
  InsertClosing(2, "'{\"f\":2}'");
  InsertClosing(3, "'{\"f\":3}'");
  ScriptAnswers(
      {{"\"f\":2", ScriptedAnswer(HttpAnswer("HTTP/1.1 202 Accepted"))},
       {"\"f\":3", ScriptedAnswer(HttpAnswer("HTTP/1.1 500 Internal Server Error",
                                             "Content-Type: text/plain\r\n", "falhou\nde novo"))}});

  pass().Run();

  EXPECT_EQ(messages(),
            (std::vector<std::string>{
                "Fechamento numero 1 enviado.", "Fechamento numero 2 Erro: HTTP/1.1 202 Accepted",
                "Erro ao enviar Post JSON:HTTP/1.1 500 Internal Server Error. "}));
  // A pause after every answered closing, none after a refused one.
  EXPECT_EQ(pump.pauses, (std::vector<PhasePump::Pause>{{1000, 1}, {1000, 2}}));
  EXPECT_EQ(Column("WEB_EX", 1), "1");
  EXPECT_EQ(Column("WEB_EX", 2), "0");
  EXPECT_EQ(Column("ERRO_ENVIO", 2), "HTTP/1.1 202 Accepted");
  EXPECT_EQ(Column("WEB_EX", 3), "0");
  EXPECT_EQ(database->Scalar("SELECT COUNT(*) FROM FECHAMENTOS WHERE ERRO_ENVIO IS NULL"), "2");
  EXPECT_EQ(ReadBytes(error_folder() / "cs_Sync_2026-03-14-09-26-53.html"),
            "falhou\r\nde novo\r\n");

  const std::string request = Requests().at(0);
  EXPECT_EQ(request.rfind("POST /api/movimento/import_fechamento/ HTTP/1.0\r\n", 0), 0u);
  EXPECT_NE(request.find("\r\nAuthorization: Token t0k3n\r\n"), std::string::npos);

  // Only a 200 takes a closing out of the next pass. The statement names no
  // order, so the rows come as the database keeps them: PostgreSQL gives a
  // row updated since after the others.
  pass().Run();
  std::vector<std::string> bodies = RequestBodies();
  ASSERT_EQ(bodies.size(), 5u);
  std::sort(bodies.begin() + 3, bodies.end());
  EXPECT_EQ(bodies, (std::vector<std::string>{"{\"f\":1}", "{\"f\":2}", "{\"f\":3}", "{\"f\":2}",
                                              "{\"f\":3}"}));
}

TEST_P(ClosingPhaseTest, BodyIsRepairedAndSentInTheAnsiCodePage) {
  // A single-byte Firebird column stores the byte itself; SQLite and PostgreSQL
  // hold Unicode, so only there can a closing hold an ideograph.
  const bool unicode = backend() != Backend::kFirebird;
  const std::string c_cedilla = unicode ? "\xC3\xA7" : "\xE7";
  const std::string ideograph = unicode ? " \xE4\xB8\xAD" : "";
  InsertClosing(1, "'[{\"a\":\"" + c_cedilla + ideograph + "\"}{\"b\":1}] [2]}  {'");
  InsertClosing(2, "NULL");

  pass().Run();

  const std::vector<std::string> bodies = RequestBodies();
  ASSERT_EQ(bodies.size(), 2u);
  EXPECT_EQ(bodies[0],
            "[{\"a\":\"\xE7" + std::string(unicode ? " ?" : "") + "\"}, {\"b\":1}], [2]}  {");
  EXPECT_EQ(bodies[1], "");
  EXPECT_NE(Requests()[1].find("\r\nContent-Length: 0\r\n"), std::string::npos);
  EXPECT_NE(Requests()[0].find("\r\nContent-Type: application/json; charset=utf-8\r\n"),
            std::string::npos);
}

TEST_P(ClosingPhaseTest, UnreachableServerFailsEachClosingWithoutPausesThenInvoicesFollow) {
  for (int codigo = 1; codigo <= 3; ++codigo) InsertClosing(codigo, "'{}'");
  database->Execute("INSERT INTO CUPOM VALUES (1, 5, 'chave', '2022-05-10', '14:30:00', 1, 0, 0);");
  api->SetBaseUrl("http://127.0.0.1:1/api/");

  pass().Run();

  const std::vector<std::string> lines = messages();
  ASSERT_GE(lines.size(), 4u);
  const std::string refused =
      "Erro ao enviar fechamento: Socket Error # 111\r\nConnection refused.";
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 3),
            (std::vector<std::string>{refused, refused, refused}));
  EXPECT_EQ(lines[3].rfind("Caminho: ", 0), 0u) << lines[3];
  EXPECT_TRUE(pump.pauses.empty());
  EXPECT_EQ(database->Scalar("SELECT COUNT(*) FROM FECHAMENTOS WHERE WEB_EX = 0"), "3");
}

TEST_P(ClosingPhaseTest, UpdateFailingAfterA200LeavesTheClosingForTheNextPass) {
  InsertClosing(1, "'{\"f\":1}'");
  InsertClosing(2, "'{\"f\":2}'");
  BlockUpdates("FECHAMENTOS", "CODIGO", 1);

  pass().Run();

  const std::vector<std::string> lines = messages();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "Fechamento numero 1 enviado.");
  EXPECT_EQ(lines[1].rfind("Erro ao enviar fechamento: ", 0), 0u) << lines[1];
  EXPECT_NE(lines[1].find("bloqueada"), std::string::npos) << lines[1];
  EXPECT_EQ(lines[2], "Fechamento numero 2 enviado.");
  EXPECT_EQ(pump.pauses, (std::vector<PhasePump::Pause>{{1000, 3}}));
  EXPECT_EQ(Column("WEB_EX", 1), "0");
  EXPECT_EQ(Column("WEB_EX", 2), "1");

  UnblockUpdates("FECHAMENTOS");
  pass().Run();
  EXPECT_EQ(RequestBodies().back(), "{\"f\":1}");
  EXPECT_EQ(Column("WEB_EX", 1), "1");
}

TEST_P(ClosingPhaseTest, ErrorPageThatCannotBeWrittenEndsThePass) {
  InsertClosing(1, "'{\"f\":1}'");
  InsertClosing(2, "'{\"f\":2}'");
  database->Execute("INSERT INTO CUPOM VALUES (1, 5, 'chave', '2022-05-10', '14:30:00', 1, 0, 0);");
  ScriptAnswers({{"\"f\":1", ScriptedAnswer(HttpAnswer("HTTP/1.1 400 Bad Request"))}});
  WriteBytes(error_folder(), "a file where the folder should be");

  EXPECT_THROW(pass().Run(), Failure);

  EXPECT_EQ(messages(),
            (std::vector<std::string>{"Erro ao enviar Post JSON:HTTP/1.1 400 Bad Request. "}));
  EXPECT_EQ(server.ConnectionCount(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Backends, ClosingPhaseTest,
                         ::testing::Values(Backend::kFirebird, Backend::kOdbcSqlite,
                                           Backend::kOdbcPostgres),
                         BackendParamName);

}  // namespace
}  // namespace quorbin::testing
