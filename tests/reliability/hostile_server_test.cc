// The HTTP client against servers that misbehave on purpose, on the real loopback
// server: silence, trickles, endless heads and bodies, garbage, resets and broken
// chunked coding. Every call must end within the time-outs it was given, with the
// ordinary failure that names what went wrong, and memory must stay bounded by the
// body cap, not by what the server sends.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <random>

#include "api/api_client.h"
#include "api/protocol_error.h"
#include "support/hostile_case.h"
#include "support/scripted_http_server.h"

namespace quorbin::testing {
namespace {

using namespace std::chrono_literals;

constexpr auto kEndless = ScriptedAnswer::kEndless;
constexpr std::size_t kBodyCap = 1 << 20;

// Short time-outs in the proportions of the real ones: a byte a second beats the
// idle time-out, and only the limit of the whole exchange ends such a call.
HttpLimits ShortLimits() {
  HttpLimits limits;
  limits.connect_timeout = 2s;
  limits.idle_timeout = 1500ms;
  limits.exchange_timeout = 3s;
  limits.max_body_bytes = kBodyCap;
  return limits;
}

// The slowest a hostile call may end: its time-outs and a margin for a busy machine.
constexpr auto kCallBound = 2s + 3s + 3s;
// What one call may add to the peak resident size: a few times the body cap.
constexpr std::size_t kMemoryBound = 16 * kBodyCap;

std::string Garbage(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

std::string ChunkedHead() {
  return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
}

const std::string kTimedOut = "Socket Error # 110\r\nConnection timed out.";
const std::string kReset = "Socket Error # 104\r\nConnection reset by peer.";
const std::string kClosed = "Connection Closed Gracefully.";
const std::string kLineTooLong = "Response line too long.";
const std::string kHeadTooLong = "Response head too long.";
const std::string kBodyTooLarge = "Response body larger than 1048576 bytes.";
const std::string kBadChunkSize = "Invalid chunk size in the response.";

struct HostileAnswer {
  const char* name;
  ScriptedAnswer answer;
  std::string message;  // of the failure
};

std::vector<HostileAnswer> HostileAnswers() {
  const std::string block(64 * 1024, 'x');
  const std::string chunk = "4000\r\n" + std::string(0x4000, 'c') + "\r\n";
  const std::string partial =
      "HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n" + std::string(5000, 'b');
  return {
      {"never answers", ScriptedAnswer().KeepOpen(), kTimedOut},
      {"resets before answering", ScriptedAnswer().Reset(), kReset},
      {"status line one byte per second", ScriptedAnswer().Repeat("H", kEndless, 1000ms).KeepOpen(),
       kTimedOut},
      {"head one byte per second after a status line",
       ScriptedAnswer("HTTP/1.1 200 OK\r\nX-Slow: ").Repeat("a", kEndless, 1000ms).KeepOpen(),
       kTimedOut},
      {"body one byte every 100 ms",
       ScriptedAnswer("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n")
           .Repeat("b", kEndless, 100ms)
           .KeepOpen(),
       kTimedOut},
      {"chunks of one byte every 100 ms",
       ScriptedAnswer(ChunkedHead()).Repeat("1\r\nb\r\n", kEndless, 100ms).KeepOpen(), kTimedOut},
      {"endless status line", ScriptedAnswer().Repeat(block, kEndless), kLineTooLong},
      {"endless header line", ScriptedAnswer("HTTP/1.1 200 OK\r\nX-Long: ").Repeat(block, kEndless),
       kLineTooLong},
      {"endless header lines",
       ScriptedAnswer("HTTP/1.1 200 OK\r\n").Repeat("X-More: header\r\n", kEndless), kHeadTooLong},
      {"endless interim answers",
       ScriptedAnswer().Repeat("HTTP/1.1 100 Continue\r\n\r\n", kEndless), kHeadTooLong},
      {"endless body until close",
       ScriptedAnswer("HTTP/1.0 200 OK\r\n\r\n").Repeat(block, kEndless), kBodyTooLarge},
      {"endless refusal body", ScriptedAnswer("HTTP/1.0 500 Oops\r\n\r\n").Repeat(block, kEndless),
       kBodyTooLarge},
      {"endless chunked body", ScriptedAnswer(ChunkedHead()).Repeat(chunk, kEndless),
       kBodyTooLarge},
      {"endless chunked trailer",
       ScriptedAnswer(ChunkedHead() + "1\r\nb\r\n0\r\n").Repeat("X-Trailer: t\r\n", kEndless),
       kHeadTooLong},
      {"body longer than its Content-Length says",
       ScriptedAnswer("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999\r\n\r\n")
           .Repeat(block, kEndless),
       kBodyTooLarge},
      {"endless random bytes",
       ScriptedAnswer(Garbage(1 << 20, 1)).Repeat(Garbage(4096, 2), kEndless), kBodyTooLarge},
      {"endless random lines", ScriptedAnswer().Repeat(Garbage(200, 3) + "\n", kEndless),
       kHeadTooLong},
      {"garbage then close", ScriptedAnswer("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03"),
       kClosed},
      {"reset in the middle of the body", ScriptedAnswer(partial).Pause(100ms).Reset(), kReset},
      {"reset in the middle of a chunk",
       ScriptedAnswer(ChunkedHead() + "100\r\npart").Pause(100ms).Reset(), kReset},
      {"chunk size not hexadecimal", ScriptedAnswer(ChunkedHead() + "zz\r\nabc\r\n0\r\n\r\n"),
       kBadChunkSize},
      {"chunk size negative", ScriptedAnswer(ChunkedHead() + "-1\r\nabc\r\n0\r\n\r\n"),
       kBadChunkSize},
      {"chunk size empty", ScriptedAnswer(ChunkedHead() + "\r\nabc\r\n0\r\n\r\n"), kBadChunkSize},
      {"chunk size overflowing",
       ScriptedAnswer(ChunkedHead() + "FFFFFFFFFFFFFFFFFFFF\r\nabc\r\n0\r\n\r\n"), kBadChunkSize},
      {"chunk size beyond the cap", ScriptedAnswer(ChunkedHead() + "7FFFFFFFFFFFFFF\r\nabc"),
       kBodyTooLarge},
      {"chunk longer than its size", ScriptedAnswer(ChunkedHead() + "3\r\nabcdef\r\n0\r\n\r\n"),
       "Invalid chunk in the response."},
      {"chunk data cut by the close", ScriptedAnswer(ChunkedHead() + "10\r\nabc"), kClosed},
      {"no last chunk before the close", ScriptedAnswer(ChunkedHead() + "3\r\nabc\r\n"), kClosed},
      {"endless chunk extension", ScriptedAnswer(ChunkedHead() + "3;ext=").Repeat(block, kEndless),
       kLineTooLong},
  };
}

TEST(HostileServerTest, EveryCallEndsInTimeWithAnOrdinaryFailure) {
  ScriptedHttpServer server;
  for (const HostileAnswer& hostile : HostileAnswers()) {
    SCOPED_TRACE(hostile.name);
    server.Enqueue(hostile.answer);
    ApiClient api(ShortLimits());
    api.PrepareJsonRequest(true);
    HostileCase probe("hostile server answers", hostile.name);
    std::string outcome = "returned normally";
    try {
      api.Post(server.Url("/api/pdv/receive/"), "{\"xml\":\"x\"}");
    } catch (const ProtocolError& refusal) {
      outcome = "refused: " + std::to_string(refusal.ErrorCode());
    } catch (const Failure& failure) {
      outcome = failure.what();
    }
    const auto elapsed = probe.Elapsed();
    const std::size_t growth = probe.PeakGrowthBytes();
    EXPECT_EQ(outcome, hostile.message);
    EXPECT_LT(elapsed, kCallBound);
    if (!UnderAddressSanitizer()) {
      EXPECT_LT(growth, kMemoryBound);
    }
    probe.Finish(outcome == hostile.message && elapsed < kCallBound &&
                 (UnderAddressSanitizer() || growth < kMemoryBound));
  }
}

// With the limits of the agent itself, an endless body ends at the 64 MiB cap and
// memory stays within a small multiple of it.
TEST(HostileServerTest, EndlessBodyEndsAtTheAgentsCap) {
  ScriptedHttpServer server;
  server.Enqueue(
      ScriptedAnswer("HTTP/1.0 200 OK\r\n\r\n").Repeat(std::string(256 * 1024, 'x'), kEndless));
  ApiClient api;
  api.PrepareJsonRequest(true);
  HostileCase probe("hostile server answers", "endless body, the agent's own limits");
  bool failed = false;
  try {
    api.Post(server.Url("/api/pdv/receive/"), "{}");
  } catch (const ProtocolError&) {
  } catch (const Failure& failure) {
    failed = std::string(failure.what()) == "Response body larger than 67108864 bytes.";
  }
  const std::size_t growth = probe.PeakGrowthBytes();
  EXPECT_TRUE(failed);
  if (!UnderAddressSanitizer()) {
    EXPECT_LT(growth, std::size_t{3} * HttpLimits().max_body_bytes);
  }
  probe.Finish(failed && (UnderAddressSanitizer() || growth < 3 * HttpLimits().max_body_bytes));
}

// A server that never takes the request: the connection waits in its listening
// queue, the socket buffers fill, and sending ends at the time-out.
TEST(HostileServerTest, RequestIntoAServerThatNeverReadsEndsInTime) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 4), 0);
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  const std::string url =
      "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/api/pdv/receive/";

  ApiClient api(ShortLimits());
  api.PrepareJsonRequest(true);
  const std::string body(64 << 20, 'q');  // more than the socket buffers hold
  HostileCase probe("hostile server answers", "never reads a large request");
  bool failed = false;
  try {
    api.Post(url, body);
  } catch (const Failure& failure) {
    failed = std::string(failure.what()) == "Socket Error # 110\r\nConnection timed out.";
  }
  close(listener);
  EXPECT_TRUE(failed);
  EXPECT_LT(probe.Elapsed(), kCallBound);
  probe.Finish(failed && probe.Elapsed() < kCallBound);
}

}  // namespace
}  // namespace quorbin::testing
