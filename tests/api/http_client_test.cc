// The HTTP client against the scripted server: the exact request bytes, how every
// kind of answer is classified, cookies across calls, and the failures when no
// answer arrives.
#include "api/http_client.h"

#include <gtest/gtest.h>

#include "api/api_client.h"
#include "api/protocol_error.h"
#include "testing/scripted_http_server.h"
#include "testing/test_sockets.h"

namespace quorbin {
namespace {

using namespace std::chrono_literals;
using testing::HttpAnswer;
using testing::ScriptedAnswer;
using testing::ScriptedHttpServer;

// "Socket Error # " + the system's number for the failure + CR LF + its text.
std::string SocketError(int number, const char* text) {
  return "Socket Error # " + std::to_string(number) + "\r\n" + text;
}

constexpr const char* kPrimed = "HTTP/1.1 299 Primed";

HttpLimits FastLimits() {
  HttpLimits limits;
  limits.connect_timeout = 2s;
  limits.idle_timeout = 300ms;
  return limits;
}

std::string Head(const std::string& request) {
  return request.substr(0, request.find("\r\n\r\n") + 4);
}

class HttpClientTest : public ::testing::Test {
 protected:
  // The fixed lines around the custom ones, for a call from this test's client.
  std::string ExpectedHead(std::string_view target, std::size_t length,
                           std::string_view custom = {}, std::string_view cookie = {}) {
    std::string head = "POST " + std::string(target) +
                       " HTTP/1.0\r\n"
                       "Connection: keep-alive\r\n"
                       "Content-Type: application/json; charset=utf-8\r\n"
                       "Content-Length: " +
                       std::to_string(length) + "\r\n";
    head += custom;
    head += "Host: 127.0.0.1:" + std::to_string(server.port()) +
            "\r\n"
            "Accept: application/json\r\n"
            "User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n";
    head += cookie;
    return head + "\r\n";
  }

  std::string LastRequest() { return server.Connections().back().request; }

  ScriptedHttpServer server;
  ApiClient api{FastLimits()};
};

TEST_F(HttpClientTest, LoginRequestCarriesTheFixedLinesAndNoAuthorization) {
  server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK", "", "\"t\"")));
  const std::string body = "{\"guid\": \"G\", \"old\": true,\"cnpj\": \"C\",\"serie\": \"S\"}";
  api.PrepareJsonRequest(false);
  api.Post(server.Url("/api/pdv/login/"), body);
  EXPECT_EQ(LastRequest(), ExpectedHead("/api/pdv/login/", body.size()) + body);
}

TEST_F(HttpClientTest, TokenLineStaysInPlaceAndIsReplacedByTheNextToken) {
  for (int i = 0; i < 3; ++i) server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK")));
  api.PrepareJsonRequest(true);  // still no token: "Token " with its blank
  api.Post(server.Url("/api/pdv/receive/"), "{}");
  EXPECT_EQ(LastRequest(),
            ExpectedHead("/api/pdv/receive/", 2, "Authorization: Token \r\n") + "{}");

  api.SetApiToken("abc123");
  api.PrepareJsonRequest(true);
  api.Post(server.Url("/api/pdv/receive/"), "");
  EXPECT_EQ(LastRequest(), ExpectedHead("/api/pdv/receive/", 0, "Authorization: Token abc123\r\n"))
      << "an empty body sends Content-Length 0 and no body bytes";

  api.PrepareJsonRequest(false);  // the line, once set, stays
  api.Post(server.Url("/api/x/"), "");
  EXPECT_EQ(LastRequest(), ExpectedHead("/api/x/", 0, "Authorization: Token abc123\r\n"));
}

TEST_F(HttpClientTest, LineBreaksAndControlsNeverReachAHeaderLine) {
  server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK")));
  api.SetApiToken("abc\"\r\nX-Injected: 1\x01\tvalid\xC3\xA9");
  api.PrepareJsonRequest(true);
  api.Post(server.Url("/api/"), "");
  EXPECT_EQ(LastRequest(),
            ExpectedHead("/api/", 0, "Authorization: Token abc\"X-Injected: 1\tvalid?\r\n"));
}

TEST_F(HttpClientTest, HostLineNamesThePortUnless80) {
  server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK")));
  api.PrepareJsonRequest(false);
  api.Post("http://localhost:" + std::to_string(server.port()) + "/api/pdv/login/", "");
  EXPECT_NE(LastRequest().find("\r\nHost: localhost:" + std::to_string(server.port()) + "\r\n"),
            std::string::npos);

  const std::string head =
      BuildRequestHead(SplitHttpUrl("http://api.example.com/api/pdv/receive/"), 0, {}, {}, "");
  EXPECT_NE(head.find("\r\nHost: api.example.com\r\n"), std::string::npos);
  const std::string explicit80 =
      BuildRequestHead(SplitHttpUrl("http://api.example.com:80/api/"), 0, {}, {}, "");
  EXPECT_NE(explicit80.find("\r\nHost: api.example.com\r\n"), std::string::npos);
}

TEST(BaseUrlTest, ProductionAndDebugUrls) {
  EXPECT_EQ(ProductionBaseUrl(), std::string("http://") + QUORBIN_API_HOST + ":82/api/");
  EXPECT_EQ(ApiClient().BaseUrl(), ProductionBaseUrl());
  EXPECT_EQ(kDebugBaseUrl, "http://localhost:8000/api/");
  const HttpUrl debug = SplitHttpUrl(std::string(kDebugBaseUrl) + "pdv/login/");
  EXPECT_EQ(debug.host, "localhost");
  EXPECT_EQ(debug.port, 8000);
  EXPECT_EQ(debug.target, "/api/pdv/login/");
  const std::string head =
      BuildRequestHead(SplitHttpUrl(ProductionBaseUrl() + "pdv/receive/"), 0, {}, {}, "");
  EXPECT_NE(head.find(std::string("\r\nHost: ") + QUORBIN_API_HOST + ":82\r\n"), std::string::npos);
}

struct StatusCase {
  const char* name;
  ScriptedAnswer answer;
  enum { kReturns, kRefused, kFails } outcome;
  std::string text;  // the returned body, ErrorMessage or the failure's message
  int code;          // ResponseCode afterwards (and ErrorCode when refused)
  std::string status_line;
};

std::vector<StatusCase> StatusCases() {
  const std::string partial = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly part";
  return {
      {"Normal", ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK", "", "{\"ok\":1}")),
       StatusCase::kReturns, "{\"ok\":1}", 200, "HTTP/1.1 200 OK"},
      {"Created", ScriptedAnswer(HttpAnswer("HTTP/1.1 201 Created", "", "made")),
       StatusCase::kReturns, "made", 201, "HTTP/1.1 201 Created"},
      {"NoContent", ScriptedAnswer("HTTP/1.1 204 No Content\r\n\r\n"), StatusCase::kReturns, "",
       204, "HTTP/1.1 204 No Content"},
      {"ContinueThenOk",
       ScriptedAnswer("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 100 Continue\r\n\r\n" +
                      HttpAnswer("HTTP/1.1 200 OK", "", "fine")),
       StatusCase::kReturns, "fine", 200, "HTTP/1.1 200 OK"},
      {"Processing", ScriptedAnswer("HTTP/1.1 102 Processing\r\n\r\n"), StatusCase::kRefused, "",
       102, "HTTP/1.1 102 Processing"},
      {"Redirect",
       ScriptedAnswer(
           HttpAnswer("HTTP/1.1 302 Found", "Location: http://127.0.0.1:1/elsewhere\r\n", "moved")),
       StatusCase::kRefused, "moved", 302, "HTTP/1.1 302 Found"},
      {"NotModified", ScriptedAnswer("HTTP/1.1 304 Not Modified\r\n\r\n"), StatusCase::kRefused, "",
       304, "HTTP/1.1 304 Not Modified"},
      {"Unauthorized",
       ScriptedAnswer(HttpAnswer("HTTP/1.1 401 Unauthorized",
                                 "WWW-Authenticate: Token\r\nContent-Type: application/json\r\n",
                                 "{\"detail\":\"Invalid token.\"}")),
       StatusCase::kRefused, "{\"detail\":\"Invalid token.\"}", 401, "HTTP/1.1 401 Unauthorized"},
      {"ServerErrorHtmlUtf8",
       ScriptedAnswer(HttpAnswer("HTTP/1.1 500 Internal Server Error",
                                 "Content-Type: text/html; charset=utf-8\r\n",
                                 "<p>Servi\xC3\xA7o indispon\xC3\xADvel</p>")),
       StatusCase::kRefused, "<p>Servi\xC3\xA7o indispon\xC3\xADvel</p>", 500,
       "HTTP/1.1 500 Internal Server Error"},
      {"ServerErrorEmpty", ScriptedAnswer(HttpAnswer("HTTP/1.1 500 Internal Server Error")),
       StatusCase::kRefused, "", 500, "HTTP/1.1 500 Internal Server Error"},
      {"Chunked",
       ScriptedAnswer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                      "4\r\nWiki\r\n5;ext=1\r\npedia\r\nB\r\n in\r\nchunks\r\n"
                      "0\r\nX-Trailer: 1\r\n\r\n"),
       StatusCase::kReturns, "Wikipedia in\r\nchunks", 200, "HTTP/1.1 200 OK"},
      {"ChunkedRefusal",
       ScriptedAnswer("HTTP/1.1 503 Busy\r\nTransfer-Encoding: chunked\r\n"
                      "Content-Type: text/plain\r\n\r\n3\r\nn\xE3o\r\n0\r\n\r\n"),
       StatusCase::kRefused, "n\xC3\xA3o", 503, "HTTP/1.1 503 Busy"},
      {"CloseDelimited", ScriptedAnswer("HTTP/1.0 200 OK\r\n\r\nuntil the end"),
       StatusCase::kReturns, "until the end", 200, "HTTP/1.0 200 OK"},
      {"NoReasonPhrase", ScriptedAnswer("HTTP/1.1 200\r\nContent-Length: 2\r\n\r\nok"),
       StatusCase::kReturns, "ok", 200, "HTTP/1.1 200"},
      {"CodeWithFraction", ScriptedAnswer(HttpAnswer("HTTP/1.1 201.7 Odd")), StatusCase::kReturns,
       "", 201, "HTTP/1.1 201.7 Odd"},
      {"NonNumericStatus", ScriptedAnswer(HttpAnswer("HTTP/1.1 abc Weird", "", "x")),
       StatusCase::kRefused, "x", -1, "HTTP/1.1 abc Weird"},
      {"ClosedBeforeStatusLine", ScriptedAnswer(), StatusCase::kFails,
       "Connection Closed Gracefully.", 299, kPrimed},
      {"ClosedInsideTheBody", ScriptedAnswer(partial), StatusCase::kFails,
       "Connection Closed Gracefully.", 200, "HTTP/1.1 200 OK"},
      {"ResetInsideTheBody", ScriptedAnswer(partial).Pause(100ms).Reset(), StatusCase::kFails,
       SocketError(testing::kConnectionResetNumber, "Connection reset by peer."), 200,
       "HTTP/1.1 200 OK"},
      {"StallBeforeAnswering", ScriptedAnswer().KeepOpen(), StatusCase::kFails,
       SocketError(testing::kTimedOutNumber, "Connection timed out."), 299, kPrimed},
      {"StallInsideTheBody", ScriptedAnswer(partial).KeepOpen(), StatusCase::kFails,
       SocketError(testing::kTimedOutNumber, "Connection timed out."), 200, "HTTP/1.1 200 OK"},
  };
}

TEST_F(HttpClientTest, EveryKindOfAnswerIsClassified) {
  for (const StatusCase& c : StatusCases()) {
    SCOPED_TRACE(c.name);
    if (c.answer.end() == ScriptedAnswer::End::kReset && !testing::CanResetConnections()) {
      continue;  // a reset cannot be staged here
    }
    const std::size_t connections = server.ConnectionCount();
    server.Enqueue(ScriptedAnswer(HttpAnswer(kPrimed)));
    server.Enqueue(c.answer);
    api.PrepareJsonRequest(true);
    api.Post(server.Url("/api/pdv/receive/"), "{}");
    try {
      const std::string body = api.Post(server.Url("/api/pdv/receive/"), "{}");
      EXPECT_EQ(c.outcome, StatusCase::kReturns);
      EXPECT_EQ(body, c.text);
    } catch (const ProtocolError& error) {
      EXPECT_EQ(c.outcome, StatusCase::kRefused);
      EXPECT_EQ(error.ErrorCode(), c.code);
      EXPECT_EQ(error.what(), c.status_line);
      EXPECT_EQ(error.ErrorMessage(), c.text);
    } catch (const Failure& failure) {
      EXPECT_EQ(c.outcome, StatusCase::kFails);
      EXPECT_EQ(failure.what(), c.text);
    }
    EXPECT_EQ(api.ResponseCode(), c.code);
    EXPECT_EQ(api.ResponseText(), c.status_line);
    EXPECT_EQ(server.ConnectionCount(), connections + 2) << "no redirect, no second attempt";
  }
}

TEST_F(HttpClientTest, EachCallOpensANewConnectionEvenAfterKeepAlive) {
  server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK", "Connection: Keep-Alive\r\n", "one"))
                     .KeepOpen());
  server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK", "", "two")));
  api.PrepareJsonRequest(false);
  EXPECT_EQ(api.Post(server.Url("/a"), ""), "one");
  EXPECT_FALSE(server.WaitForClientClose(0, 100ms)) << "kept open as the answer asked";
  EXPECT_EQ(api.Post(server.Url("/b"), ""), "two");
  EXPECT_TRUE(server.WaitForClientClose(0, 2s)) << "closed by the next call";
  ASSERT_EQ(server.ConnectionCount(), 2u);
  EXPECT_EQ(Head(server.Connections()[0].request).substr(0, 8), "POST /a ");
  EXPECT_EQ(Head(server.Connections()[1].request).substr(0, 8), "POST /b ");
}

TEST_F(HttpClientTest, CookiesGoBackWhereTheyMatchUntilTheyExpire) {
  auto now = std::chrono::system_clock::now();
  ApiClient client(FastLimits(), [&now] { return now; });
  server.Enqueue(
      ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK",
                                "Set-Cookie: sid=abc; Path=/api; Max-Age=60\r\n"
                                "Set-Cookie: site=1; Domain=127.0.0.1; Path=/\r\n"
                                "Set-Cookie: other=2; Path=/other\r\n"
                                "Set-Cookie: foreign=3; Domain=example.com\r\n"
                                "Set-Cookie: gone=4; Expires=Thu, 01 Jan 1970 00:00:00 GMT\r\n"
                                "Set-Cookie: safe=5; Secure\r\n")));
  for (int i = 0; i < 3; ++i) server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK")));
  client.PrepareJsonRequest(false);
  client.Post(server.Url("/api/pdv/login/"), "");
  EXPECT_EQ(server.Connections()[0].request.find("Cookie:"), std::string::npos);

  client.Post(server.Url("/api/pdv/receive/"), "");
  EXPECT_EQ(Head(LastRequest()),
            ExpectedHead("/api/pdv/receive/", 0, "", "Cookie: sid=abc; site=1\r\n"))
      << "the longer path first; the line comes last";

  client.Post(server.Url("/apix/"), "");
  EXPECT_NE(LastRequest().find("\r\nCookie: site=1\r\n"), std::string::npos)
      << "/api does not match /apix";

  now += std::chrono::seconds(61);
  client.Post(server.Url("/api/pdv/receive/"), "");
  EXPECT_NE(LastRequest().find("\r\nCookie: site=1\r\n"), std::string::npos) << "sid expired";
}

TEST_F(HttpClientTest, CookiesOfARefusedAnswerAreKeptToo) {
  server.Enqueue(ScriptedAnswer(
      HttpAnswer("HTTP/1.1 403 Forbidden", "Set-Cookie: csrftoken=q1; Path=/\r\n", "no")));
  server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK")));
  api.PrepareJsonRequest(false);
  EXPECT_THROW(api.Post(server.Url("/api/pdv/login/"), ""), ProtocolError);
  api.Post(server.Url("/api/pdv/login/"), "");
  EXPECT_NE(LastRequest().find("\r\nCookie: csrftoken=q1\r\n"), std::string::npos);
}

TEST_F(HttpClientTest, BodyAboveTheCapIsAFailure) {
  HttpLimits limits = FastLimits();
  limits.max_body_bytes = 1000;
  ApiClient small(limits);
  server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK", "", std::string(1001, 'x'))));
  server.Enqueue(ScriptedAnswer("HTTP/1.0 500 Oops\r\n\r\n" + std::string(5000, 'x')));
  server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK", "", std::string(1000, 'x'))));
  small.PrepareJsonRequest(false);
  for (int i = 0; i < 2; ++i) {
    try {
      small.Post(server.Url("/"), "");
      ADD_FAILURE() << "no failure";
    } catch (const ProtocolError&) {
      ADD_FAILURE() << "refused instead of failed";
    } catch (const Failure& failure) {
      EXPECT_STREQ(failure.what(), "Response body larger than 1000 bytes.");
    }
  }
  EXPECT_EQ(small.Post(server.Url("/"), "").size(), 1000u);
}

TEST_F(HttpClientTest, TricklingAnswerEndsAtTheLimitOfTheWholeExchange) {
  // Each byte beats the idle time-out; only the exchange limit ends the call.
  HttpLimits limits = FastLimits();
  limits.exchange_timeout = 1s;
  ApiClient patient(limits);
  server.Enqueue(ScriptedAnswer("HTTP/1.1 200 OK\r\n\r\n")
                     .Repeat("x", ScriptedAnswer::kEndless, 50ms)
                     .KeepOpen());
  patient.PrepareJsonRequest(false);
  const auto start = std::chrono::steady_clock::now();
  try {
    patient.Post(server.Url("/"), "");
    ADD_FAILURE() << "no failure";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.what(), SocketError(testing::kTimedOutNumber, "Connection timed out."));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, 30s) << "held far past the limit";
}

TEST_F(HttpClientTest, RefusedConnectionLeavesTheStatusAlone) {
  server.Enqueue(ScriptedAnswer(HttpAnswer("HTTP/1.1 201 Created")));
  api.PrepareJsonRequest(false);
  api.Post(server.Url("/"), "");

  const testing::LoopbackPort probe(false);  // a port nobody listens on
  const std::string url = "http://127.0.0.1:" + std::to_string(probe.port()) + "/";
  try {
    api.Post(url, "{}");
    ADD_FAILURE() << "connected";
  } catch (const Failure& failure) {
    EXPECT_EQ(failure.what(),
              SocketError(testing::kConnectionRefusedNumber, "Connection refused."));
  }
  EXPECT_EQ(api.ResponseCode(), 201);
  EXPECT_EQ(api.ResponseText(), "HTTP/1.1 201 Created");
}

TEST_F(HttpClientTest, UnknownHostIsAFailure) {
  api.PrepareJsonRequest(false);
  try {
    api.Post("http://api.invalid:82/api/pdv/login/", "{}");
    ADD_FAILURE() << "resolved";
  } catch (const Failure& failure) {
    const std::string message = failure.what();
    EXPECT_TRUE(message.starts_with("Socket Error # ")) << message;
    EXPECT_TRUE(message.ends_with("\r\nHost not found.")) << message;
  }
}

}  // namespace
}  // namespace quorbin
