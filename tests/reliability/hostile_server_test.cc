// The HTTP client against servers that misbehave on purpose, on the real loopback
// server: silence, trickles, endless heads and bodies, garbage, resets and broken
// chunked coding. Every call must end within the time-outs it was given, with the
// ordinary failure that names what went wrong, and memory must stay bounded by the
// body cap, not by what the server sends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "api/api_client.h"
#include "api/error_page.h"
#include "api/protocol_error.h"
#include "testing/hostile_case.h"
#include "testing/manual_clock.h"
#include "testing/scripted_http_server.h"
#include "testing/temp_dir.h"

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

std::string Repeated(std::string_view piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
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

// Refusals whose bodies are built to cost: each is received with the agent's own
// limits, decoded and written as an error page, within the call bound and a
// small multiple of the body in memory.
TEST(HostileServerTest, CostlyRefusalsAreDecodedAndWrittenInBoundedTimeAndMemory) {
  struct Case {
    const char* name;
    const char* row;  // of the reliability table
    std::string content_type;
    std::string piece;  // repeated to make the body
    std::uint64_t times;
    std::chrono::milliseconds time_bound;  // receiving, decoding and writing
  } cases[] = {
      // Every "<meta" without its ">": a scan that starts again at each one
      // reads the rest of the body each time.
      {"html of endless unclosed meta tags", "refusal: unclosed meta tags", "text/html",
       Repeated("<meta ", 1000), 175, kCallBound},
      // One line per byte: a page held as a list of lines costs tens of bytes each.
      {"64 MB refusal of bare line feeds", "refusal: 64 MB of bare line feeds", "text/plain",
       std::string(256 * 1024, '\n'), 255, 30s},
  };
  ScriptedHttpServer server;
  TempDir dir;
  ManualClock clock{DateTime::FromCivil({2024, 3, 5, 14, 7, 9, 0})};
  ActivityLog log{dir / "log_sync.txt", clock};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.Enqueue(
        ScriptedAnswer("HTTP/1.0 500 Oops\r\nContent-Type: " + c.content_type + "\r\n\r\n")
            .Repeat(c.piece, c.times));
    const std::size_t body_bytes = c.piece.size() * c.times;
    ApiClient api;
    api.PrepareJsonRequest(true);
    HostileCase probe(c.row, c.name);
    bool written = false;
    try {
      api.Post(server.Url("/api/pdv/receive/"), "{}");
    } catch (const ProtocolError& refusal) {
      const auto page = ReportProtocolError(refusal, log, clock, dir / "qb_errors");
      written = std::filesystem::file_size(page) >= body_bytes;
    } catch (const Failure& failure) {
      ADD_FAILURE() << failure.what();
    }
    const auto elapsed = probe.Elapsed();
    const std::size_t growth = probe.PeakGrowthBytes();
    // A sanitized build runs each byte's work many times slower.
    const auto time_bound = UnderAddressSanitizer() ? 10 * c.time_bound : c.time_bound;
    EXPECT_TRUE(written);
    EXPECT_LT(elapsed, time_bound);
    const std::size_t memory_bound = 6 * body_bytes + (8 << 20);
    if (!UnderAddressSanitizer()) {
      EXPECT_LT(growth, memory_bound);
    }
    probe.Finish(written && elapsed < time_bound &&
                 (UnderAddressSanitizer() || growth < memory_bound));
  }
}

constexpr int kCannotIsolate = 77;

bool WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream out(path);
  out << text;
  return static_cast<bool>(out.flush());
}

// Gives this process a network and a /etc/resolv.conf of its own: only the
// loopback, and one name server on 127.0.0.1 port 53 that takes every query and
// never answers, waited for as long as the resolver allows (30 s, 5 attempts).
// Returns the server's socket, or -1 when the system cannot make the namespaces
// (neither root nor user namespaces).
int IsolateWithSilentNameServer() {
  const uid_t uid = geteuid();
  const gid_t gid = getegid();
  if (uid == 0 ? unshare(CLONE_NEWNS | CLONE_NEWNET) != 0
               : unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWNET) != 0) {
    return -1;
  }
  if (uid != 0 && !(WriteTextFile("/proc/self/setgroups", "deny") &&
                    WriteTextFile("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
                    WriteTextFile("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))) {
    return -1;
  }
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return -1;
  const int control = socket(AF_INET, SOCK_DGRAM, 0);
  ifreq loopback{};
  std::snprintf(loopback.ifr_name, sizeof loopback.ifr_name, "lo");
  if (ioctl(control, SIOCGIFFLAGS, &loopback) != 0) return -1;
  loopback.ifr_flags = static_cast<short>(loopback.ifr_flags | IFF_UP);
  if (ioctl(control, SIOCSIFFLAGS, &loopback) != 0) return -1;
  close(control);

  const int silent = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(53);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (bind(silent, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;

  char conf[] = "/tmp/quorbin-resolv-XXXXXX";
  const int file = mkstemp(conf);
  if (file < 0) return -1;
  close(file);
  if (!WriteTextFile(conf, "nameserver 127.0.0.1\noptions timeout:30 attempts:5\n") ||
      mount(conf, "/etc/resolv.conf", nullptr, MS_BIND, nullptr) != 0) {
    unlink(conf);
    return -1;
  }
  unlink(conf);  // the mount keeps the file
  return silent;
}

// A name server that never answers: the system's resolver would hold the lookup
// for minutes, and the connect time-out must end it. Runs in a child process,
// which makes the namespaces of IsolateWithSilentNameServer.
TEST(HostileServerTest, NameServerThatNeverAnswersEndsWithinTheConnectTimeOut) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (IsolateWithSilentNameServer() < 0) _exit(kCannotIsolate);
    ApiClient api(ShortLimits());
    api.PrepareJsonRequest(true);
    HostileCase probe("name server that never answers", "lookup of a name");
    std::string outcome = "returned normally";
    try {
      api.Post("http://never-answered.invalid:8000/api/pdv/receive/", "{}");
    } catch (const Failure& failure) {
      outcome = failure.what();
    }
    const auto elapsed = probe.Elapsed();
    // The connect time-out is 2 s; a second more is the margin of a busy machine.
    const bool ended = outcome == kTimedOut && elapsed < ShortLimits().connect_timeout + 1s;
    if (!ended) {
      std::fprintf(stderr, "outcome \"%s\" after %lld ms\n", outcome.c_str(),
                   static_cast<long long>(elapsed.count()));
    }
    probe.Finish(ended);
    _exit(ended ? 0 : 1);
  }
  int status = 0;
  const auto give_up = std::chrono::steady_clock::now() + 60s;
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > give_up) {
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      FAIL() << "the lookup was still waiting after 60 s";
    }
    std::this_thread::sleep_for(50ms);
  }
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == kCannotIsolate) {
    GTEST_SKIP() << "no namespaces here (neither root nor user namespaces)";
  }
  EXPECT_EQ(WEXITSTATUS(status), 0);
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
