// TCP over IPv4 with bounded waits, for the HTTP client. Every operation reports
// failure as a SocketError (the system's error number and a short English
// description ending in a full stop) instead of throwing, so that the caller
// decides how a failure reads. Waits are bounded by the time-out each call gets
// and, once a deadline is set, by that deadline too: a peer that trickles bytes
// just often enough to beat the time-out cannot hold a call past the deadline.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorbin::platform {

struct SocketError {
  int number = 0;
  std::string description;  // "Connection refused."
};

// The error of an expired time-out ("Connection timed out.").
SocketError TimedOutError();

// The first IPv4 address of `host` in network byte order; a dotted address is
// taken as it is. A name that does not resolve gives "Host not found."; a lookup
// that has not ended within `timeout` gives TimedOutError() at that time (the
// system's resolver can wait far longer than the agent may).
std::optional<SocketError> ResolveIpv4(const std::string& host, std::uint32_t& address,
                                       std::chrono::milliseconds timeout);

class TcpSocket {
 public:
  TcpSocket() = default;
  ~TcpSocket() { Close(); }
  TcpSocket(const TcpSocket&) = delete;
  TcpSocket& operator=(const TcpSocket&) = delete;

  // Opens a connection; the socket must be closed.
  std::optional<SocketError> Connect(std::uint32_t address, std::uint16_t port,
                                     std::chrono::milliseconds timeout);
  // Sends every byte; `idle_timeout` bounds each wait for the peer to take more.
  std::optional<SocketError> SendAll(std::string_view bytes,
                                     std::chrono::milliseconds idle_timeout);
  // Receives at least one byte and at most `capacity`; `received` is 0 when the
  // peer closed the connection in order.
  std::optional<SocketError> Receive(char* buffer, std::size_t capacity,
                                     std::chrono::milliseconds idle_timeout, std::size_t& received);
  // Sending and receiving fail with TimedOutError() once `deadline` has passed,
  // and no wait lasts beyond it. Nothing clears it until the socket is closed.
  void SetDeadline(std::chrono::steady_clock::time_point deadline) { deadline_ = deadline; }
  void Close() noexcept;
  bool IsOpen() const { return handle_ != -1; }

 private:
  // The longest a wait may last now: `timeout`, cut to what is left of the
  // deadline; nothing when the deadline has passed. Every system's waits use it.
  std::optional<std::chrono::milliseconds> Bounded(std::chrono::milliseconds timeout) const {
    if (!deadline_) return timeout;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(*deadline_ - std::chrono::steady_clock::now());
    if (left <= std::chrono::milliseconds::zero()) return std::nullopt;
    return std::min(timeout, left);
  }

  // A descriptor on Linux, a SOCKET on Windows; -1 when closed.
  std::intptr_t handle_ = -1;
  std::optional<std::chrono::steady_clock::time_point> deadline_;
};

}  // namespace quorbin::platform
