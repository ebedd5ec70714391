#include "testing/scripted_http_server.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "support/ascii_text.h"
#include "testing/test_sockets.h"

namespace quorbin::testing {
namespace {

constexpr int kTickMs = 20;
constexpr auto kRequestPatience = std::chrono::seconds(10);

// Waits one tick for the socket to become readable.
bool Readable(SocketHandle handle) {
  return WaitReady(handle, kTickMs);
}

// The Content-Length of a request head, 0 when it names none.
std::size_t ContentLength(std::string_view head) {
  const std::string lower = AsciiLowerText(head);
  const std::size_t at = lower.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  return std::strtoul(lower.c_str() + at + 17, nullptr, 10);
}

}  // namespace

ScriptedAnswer& ScriptedAnswer::Send(std::string bytes) {
  steps_.push_back({std::chrono::milliseconds(0), std::move(bytes), 1});
  return *this;
}

ScriptedAnswer& ScriptedAnswer::Pause(std::chrono::milliseconds pause) {
  steps_.push_back({pause, std::string(), 1});
  return *this;
}

ScriptedAnswer& ScriptedAnswer::Repeat(std::string bytes, std::uint64_t times,
                                       std::chrono::milliseconds pause) {
  steps_.push_back({pause, std::move(bytes), times});
  return *this;
}

std::string HttpAnswer(std::string_view status_line, std::string_view headers,
                       std::string_view body) {
  std::string answer(status_line);
  answer += "\r\n";
  answer += headers;
  answer += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  answer += body;
  return answer;
}

ScriptedHttpServer::ScriptedHttpServer(std::uint16_t port) {
  listener_ = NewTcpSocket();
#ifndef _WIN32
  // Windows lets a second listener share the port with this option: not there.
  const int on = 1;
  setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
#endif
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 16) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const int error = LastSocketError();
    CloseSocket(listener_);
    throw std::runtime_error("scripted server cannot listen on port " + std::to_string(port) +
                             ": " + std::to_string(error));
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
  stopping_ = true;
  acceptor_.join();
  for (auto& worker : workers_) worker.join();
  CloseSocket(listener_);
}

std::string ScriptedHttpServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

void ScriptedHttpServer::Enqueue(ScriptedAnswer answer) {
  std::lock_guard lock(mutex_);
  queue_.push_back(std::move(answer));
}

void ScriptedHttpServer::SetResponder(Responder responder) {
  std::lock_guard lock(mutex_);
  responder_ = std::move(responder);
}

std::vector<RecordedConnection> ScriptedHttpServer::Connections() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

std::size_t ScriptedHttpServer::ConnectionCount() const {
  std::lock_guard lock(mutex_);
  return connections_.size();
}

bool ScriptedHttpServer::WaitForClientClose(std::size_t index,
                                            std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] {
    return index < connections_.size() && connections_[index].client_closed;
  });
}

void ScriptedHttpServer::AcceptLoop() {
  while (!stopping_) {
    if (!Readable(listener_)) continue;
    const SocketHandle handle = AcceptConnection(listener_);
    if (handle == kNoSocket) continue;
    std::size_t index;
    {
      std::lock_guard lock(mutex_);
      index = connections_.size();
      connections_.emplace_back();
    }
    workers_.emplace_back([this, handle, index] { Serve(handle, index); });
  }
}

void ScriptedHttpServer::Serve(SocketHandle handle, std::size_t index) {
  if (ReadRequest(handle, index)) {
    const ScriptedAnswer answer = ChooseAnswer(index);
    Play(handle, answer);
    if (answer.end() == ScriptedAnswer::End::kReset) {
      const linger abort{1, 0};
      setsockopt(handle, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort),
                 sizeof abort);
    } else if (answer.end() == ScriptedAnswer::End::kKeepOpen) {
      WaitForClose(handle, index);
    }
  }
  CloseSocket(handle);
}

void ScriptedHttpServer::Append(std::size_t index, const char* bytes, std::size_t count) {
  std::lock_guard lock(mutex_);
  connections_[index].request.append(bytes, count);
}

bool ScriptedHttpServer::ReadRequest(SocketHandle handle, std::size_t index) {
  std::string received;
  const auto deadline = std::chrono::steady_clock::now() + kRequestPatience;
  while (!stopping_ && std::chrono::steady_clock::now() < deadline) {
    const std::size_t head_end = received.find("\r\n\r\n");
    if (head_end != std::string::npos &&
        received.size() >= head_end + 4 + ContentLength(received.substr(0, head_end + 2))) {
      return true;
    }
    if (!Readable(handle)) continue;
    char chunk[16384];
    const int count = ReceiveSome(handle, chunk, sizeof chunk);
    if (count <= 0) {
      std::lock_guard lock(mutex_);
      connections_[index].client_closed = true;
      changed_.notify_all();
      return false;
    }
    received.append(chunk, static_cast<std::size_t>(count));
    Append(index, chunk, static_cast<std::size_t>(count));
  }
  return false;
}

ScriptedAnswer ScriptedHttpServer::ChooseAnswer(std::size_t index) {
  std::unique_lock lock(mutex_);
  if (!queue_.empty()) {
    ScriptedAnswer answer = std::move(queue_.front());
    queue_.pop_front();
    return answer;
  }
  if (responder_) {
    const Responder responder = responder_;
    const std::string request = connections_[index].request;
    lock.unlock();
    return responder(request);
  }
  return ScriptedAnswer(HttpAnswer("HTTP/1.1 500 No Scripted Answer"));
}

bool ScriptedHttpServer::Sleep(std::chrono::milliseconds pause) const {
  const auto until = std::chrono::steady_clock::now() + pause;
  while (!stopping_ && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
        std::chrono::milliseconds(kTickMs), until - std::chrono::steady_clock::now()));
  }
  return !stopping_;
}

// False when the client went away or the server is stopping. Sends in small
// pieces once the socket can take more, so that a client that stops reading
// cannot hold the server past its end.
bool ScriptedHttpServer::SendBytes(SocketHandle handle, std::string_view bytes) const {
  constexpr std::size_t kPiece = 4096;
  while (!bytes.empty()) {
    if (stopping_) return false;
    if (!WaitReady(handle, kTickMs, true)) continue;
    const int sent = SendSome(handle, bytes.data(), std::min(bytes.size(), kPiece));
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

void ScriptedHttpServer::Play(SocketHandle handle, const ScriptedAnswer& answer) {
  for (const auto& step : answer.steps()) {
    for (std::uint64_t i = 0; i < step.times; ++i) {
      if (!Sleep(step.pause) || !SendBytes(handle, step.bytes)) return;
    }
  }
}

void ScriptedHttpServer::WaitForClose(SocketHandle handle, std::size_t index) {
  while (!stopping_) {
    if (!Readable(handle)) continue;
    char chunk[16384];
    const int count = ReceiveSome(handle, chunk, sizeof chunk);
    if (count > 0) {
      Append(index, chunk, static_cast<std::size_t>(count));
      continue;
    }
    std::lock_guard lock(mutex_);
    connections_[index].client_closed = true;
    changed_.notify_all();
    return;
  }
}

}  // namespace quorbin::testing
