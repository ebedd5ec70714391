// A scripted HTTP server for tests, on 127.0.0.1. It accepts connections on an
// ephemeral port (or one given), records every byte each client sends, and plays
// one scripted answer per connection: raw bytes with pauses, repeated as often as
// asked (endlessly too), then an orderly close, a reset, or holding the
// connection open until the client closes it.
//
// A connection's answer is chosen once its request has been read (the head up to
// the empty line, then as many body bytes as its Content-Length says): the next
// queued answer, else the responder's answer for that request, else a 500 saying
// that no answer was scripted. Connections are served side by side, each on its
// own thread; the destructor ends them all.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "testing/test_sockets.h"

namespace quorbin::testing {

class ScriptedAnswer {
 public:
  enum class End { kClose, kReset, kKeepOpen };
  struct Step {
    std::chrono::milliseconds pause{0};
    std::string bytes;        // sent after the pause
    std::uint64_t times = 1;  // the pause and the bytes, this many times over
  };
  static constexpr std::uint64_t kEndless = UINT64_MAX;

  ScriptedAnswer() = default;
  // Sends `bytes` and closes the connection.
  explicit ScriptedAnswer(std::string bytes) { Send(std::move(bytes)); }

  ScriptedAnswer& Send(std::string bytes);
  ScriptedAnswer& Pause(std::chrono::milliseconds pause);
  // Sends `bytes` `times` times over (kEndless: until the client goes away), each
  // time after `pause`: a trickling or endless answer that is never held whole.
  ScriptedAnswer& Repeat(std::string bytes, std::uint64_t times,
                         std::chrono::milliseconds pause = std::chrono::milliseconds(0));
  // How the connection ends after the last step (an orderly close by default).
  ScriptedAnswer& Close() { return EndWith(End::kClose); }
  ScriptedAnswer& Reset() { return EndWith(End::kReset); }
  ScriptedAnswer& KeepOpen() { return EndWith(End::kKeepOpen); }

  const std::vector<Step>& steps() const { return steps_; }
  End end() const { return end_; }

 private:
  ScriptedAnswer& EndWith(End end) {
    end_ = end;
    return *this;
  }

  std::vector<Step> steps_;
  End end_ = End::kClose;
};

// A whole answer: the status line, the header lines given (each ended by CR LF),
// a Content-Length line for the body, the empty line and the body.
std::string HttpAnswer(std::string_view status_line, std::string_view headers = {},
                       std::string_view body = {});

struct RecordedConnection {
  std::string request;         // every byte the client sent, in order
  bool client_closed = false;  // the client closed its side while the server listened
};

class ScriptedHttpServer {
 public:
  using Responder = std::function<ScriptedAnswer(const std::string& request)>;

  // Port 0 takes an ephemeral port. Throws std::runtime_error when it cannot listen.
  explicit ScriptedHttpServer(std::uint16_t port = 0);
  ~ScriptedHttpServer();
  ScriptedHttpServer(const ScriptedHttpServer&) = delete;
  ScriptedHttpServer& operator=(const ScriptedHttpServer&) = delete;

  std::uint16_t port() const { return port_; }
  // "http://127.0.0.1:<port>" + path.
  std::string Url(std::string_view path = "/") const;

  void Enqueue(ScriptedAnswer answer);
  void SetResponder(Responder responder);

  std::vector<RecordedConnection> Connections() const;
  std::size_t ConnectionCount() const;
  // Waits until connection `index` exists and its client has closed it.
  bool WaitForClientClose(std::size_t index, std::chrono::milliseconds timeout) const;

 private:
  void AcceptLoop();
  void Serve(SocketHandle handle, std::size_t index);
  bool ReadRequest(SocketHandle handle, std::size_t index);
  ScriptedAnswer ChooseAnswer(std::size_t index);
  void Play(SocketHandle handle, const ScriptedAnswer& answer);
  bool SendBytes(SocketHandle handle, std::string_view bytes) const;
  void WaitForClose(SocketHandle handle, std::size_t index);
  void Append(std::size_t index, const char* bytes, std::size_t count);
  bool Sleep(std::chrono::milliseconds pause) const;

  SocketHandle listener_ = kNoSocket;
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::vector<std::thread> workers_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::deque<ScriptedAnswer> queue_;
  Responder responder_;
  std::vector<RecordedConnection> connections_;
};

}  // namespace quorbin::testing
