// The login against the scripted server, with the values start-up reads from a
// database held in memory.
#include "api/login.h"

#include <gtest/gtest.h>

#include "api/protocol_error.h"
#include "store/login_fields.h"
#include "testing/fake_query.h"
#include "testing/scripted_http_server.h"

namespace quorbin {
namespace {

using namespace std::chrono_literals;
using testing::FakeQuery;
using testing::HttpAnswer;
using testing::IntegerValue;
using testing::ScriptedAnswer;
using testing::ScriptedHttpServer;
using testing::TextValue;

constexpr const char* kGuid = "0123456789ABCDEF0123456789ABCDEF";
constexpr const char* kSerieStatement = "SELECT NFCE_SERIE from PARAMETROS";
constexpr const char* kEmitterStatement = "SELECT * from EMITENTE";

class LoginTest : public ::testing::Test {
 protected:
  LoginTest() {
    HttpLimits limits;
    limits.idle_timeout = 500ms;
    api = std::make_unique<ApiClient>(limits);
    api->SetBaseUrl(server.Url("/api/"));
    fbquery.results[kSerieStatement] = {{{"NFCE_SERIE", IntegerValue(1)}}};
    fbquery.results[kEmitterStatement] = {
        {{"cnpj", TextValue("12.345.678/0001-95")}, {"razao", TextValue("Loja")}}};
  }

  // As start-up does: the values from the database, then the login.
  void RunLogin(const std::function<std::string()>& fingerprint) {
    const LoginFields fields = ReadLoginFields(fbquery);
    Login(*api, fields.cnpj, fields.serie, fingerprint, trace);
  }
  void RunLogin() {
    RunLogin([] { return std::string(kGuid); });
  }

  std::string RequestBody(std::size_t connection = 0) {
    const std::string request = server.Connections().at(connection).request;
    return request.substr(request.find("\r\n\r\n") + 4);
  }

  ScriptedHttpServer server;
  std::unique_ptr<ApiClient> api;
  FakeQuery fbquery;
  LoginTrace trace;
};

TEST_F(LoginTest, PostsTheIdentityAndKeepsTheToken) {
  server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK", "", "\"9f8e7d\"")));
  RunLogin();
  const std::string body =
      "{\"guid\": \"0123456789ABCDEF0123456789ABCDEF\", \"old\": true,\"cnpj\": "
      "\"12345678000195\",\"serie\": \"1\"}";
  ASSERT_EQ(body.size(), 48u + 32 + 14 + 1);
  const std::string request = server.Connections().at(0).request;
  EXPECT_EQ(request,
            "POST /api/pdv/login/ HTTP/1.0\r\n"
            "Connection: keep-alive\r\n"
            "Content-Type: application/json; charset=utf-8\r\n"
            "Content-Length: 95\r\n"
            "Host: 127.0.0.1:" +
                std::to_string(server.port()) +
                "\r\n"
                "Accept: application/json\r\n"
                "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                "\r\n" +
                body);
  EXPECT_EQ(api->ApiToken(), "9f8e7d");
  EXPECT_EQ(trace.request_body, body);
  EXPECT_EQ(trace.response_text, "\"9f8e7d\"");
}

TEST_F(LoginTest, AlphanumericCnpjIsSentWholeInCapitals) {
  fbquery.results[kEmitterStatement] = {{{"cnpj", TextValue("12.abc.345/01de-35")}}};
  server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK", "", "\"t\"")));
  RunLogin();
  EXPECT_EQ(RequestBody(),
            "{\"guid\": \"0123456789ABCDEF0123456789ABCDEF\", \"old\": true,\"cnpj\": "
            "\"12ABC34501DE35\",\"serie\": \"1\"}");
}

TEST_F(LoginTest, ReadsBothStatementsOnTheMainQueryAndLeavesTheSecondOpen) {
  server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK", "", "\"t\"")));
  RunLogin();
  const std::vector<std::string> expected = {
      "Close", std::string("SetText ") + kSerieStatement,   "Open", "First", "Close",
      "Close", std::string("SetText ") + kEmitterStatement, "Open", "First"};
  EXPECT_EQ(fbquery.calls, expected);
  EXPECT_TRUE(fbquery.open);
}

TEST_F(LoginTest, TokenIsTheAnswerWithoutItsFirstAndLastCharacter) {
  struct Case {
    const char* name;
    std::string answer;
    std::string token;
    std::string authorization;  // the line the next call sends
  } cases[] = {
      {"Quoted", HttpAnswer("HTTP/1.1 200 OK", "", "\"abc\""), "abc", "Token abc"},
      {"Created", HttpAnswer("HTTP/1.1 201 Created", "", "\"abc\""), "abc", "Token abc"},
      {"TrailingLineFeed", HttpAnswer("HTTP/1.1 200 OK", "", "\"abc\"\n"), "abc\"", "Token abc\""},
      {"TrailingCrLf", HttpAnswer("HTTP/1.1 200 OK", "", "\"abc\"\r\n"), "abc\"\r", "Token abc\""},
      {"Latin1Byte", HttpAnswer("HTTP/1.1 200 OK", "", "\"\xE7\""), "\xC3\xA7", "Token ?"},
      {"OneCharacter", HttpAnswer("HTTP/1.1 200 OK", "", "x"), "", "Token "},
      {"TwoCharacters", HttpAnswer("HTTP/1.1 200 OK", "", "\"\""), "", "Token "},
      {"NoContent", "HTTP/1.1 204 No Content\r\n\r\n", "", "Token "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    api->SetApiToken("");
    server.Enqueue(ScriptedAnswer(c.answer));
    server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK")));
    RunLogin();
    EXPECT_EQ(api->ApiToken(), c.token);
    api->PrepareJsonRequest(true);
    api->Post(api->BaseUrl() + "pdv/receive/", "{}");
    const std::string upload = server.Connections().back().request;
    EXPECT_NE(upload.find("\r\nAuthorization: " + c.authorization + "\r\nHost: "),
              std::string::npos)
        << upload;
  }
}

TEST_F(LoginTest, EmptyTablesGiveEmptyValues) {
  fbquery.results[kSerieStatement] = {};
  fbquery.results[kEmitterStatement] = {};
  server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK", "", "\"t\"")));
  RunLogin();
  EXPECT_EQ(RequestBody(),
            "{\"guid\": \"0123456789ABCDEF0123456789ABCDEF\", \"old\": true,\"cnpj\": \"\","
            "\"serie\": \"\"}");
}

TEST_F(LoginTest, ValuesThatWouldBreakTheJsonAreEscaped) {
  fbquery.results[kSerieStatement] = {{{"NFCE_SERIE", TextValue("1\"A\\\n")}}};
  server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK", "", "\"t\"")));
  RunLogin();
  EXPECT_NE(RequestBody().find(",\"serie\": \"1\\\"A\\\\\\n\"}"), std::string::npos)
      << RequestBody();
}

TEST_F(LoginTest, RefusalReachesTheCallerWithTheTokenUnchanged) {
  server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 403 Forbidden", "", "{\"detail\":\"no\"}")));
  try {
    RunLogin();
    FAIL() << "accepted";
  } catch (const ProtocolError& error) {
    EXPECT_EQ(error.ErrorCode(), 403);
    EXPECT_EQ(error.ErrorMessage(), "{\"detail\":\"no\"}");
  }
  EXPECT_EQ(api->ApiToken(), "");
  EXPECT_EQ(trace.response_text, "");
  EXPECT_EQ(trace.request_body, RequestBody());
}

TEST_F(LoginTest, UnreachableServerLeavesTheBodyForTheLog) {
  api->SetBaseUrl("http://127.0.0.1:1/api/");
  EXPECT_THROW(RunLogin(), Failure);
  EXPECT_EQ(trace.response_text, "");
  EXPECT_EQ(trace.request_body,
            "{\"guid\": \"0123456789ABCDEF0123456789ABCDEF\", \"old\": true,\"cnpj\": "
            "\"12345678000195\",\"serie\": \"1\"}");
}

// An answer that breaks in its body leaves what arrived of it for the log (one
// character per byte), whatever framed the body.
TEST_F(LoginTest, AnswerBrokenMidBodyLeavesTheTextReceivedSoFar) {
  struct Case {
    const char* name;
    std::string answer;
  } cases[] = {
      {"ContentLength", "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n\"9f8e\xE7"},
      {"Chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\n\"9f\r\n10\r\n8e\xE7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.Enqueue(ScriptedAnswer(c.answer));
    try {
      RunLogin();
      ADD_FAILURE() << "accepted";
    } catch (const ProtocolError&) {
      ADD_FAILURE() << "refused";
    } catch (const Failure& failure) {
      EXPECT_STREQ(failure.what(), "Connection Closed Gracefully.");
    }
    EXPECT_EQ(trace.response_text, "\"9f8e\xC3\xA7");
    EXPECT_EQ(api->ApiToken(), "");
  }
}

TEST_F(LoginTest, FailuresBeforeTheBodyLeaveItEmpty) {
  EXPECT_THROW(RunLogin([]() -> std::string { throw Failure("sem WMI"); }), Failure);
  EXPECT_EQ(trace.request_body, "");
  fbquery.results.erase(kEmitterStatement);
  EXPECT_THROW(RunLogin(), Failure);
  EXPECT_EQ(trace.request_body, "");
  EXPECT_EQ(server.ConnectionCount(), 0u);
}

}  // namespace
}  // namespace quorbin
