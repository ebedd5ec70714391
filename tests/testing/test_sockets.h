// The few socket calls the test helpers make, named alike on Linux and on
// Windows (Winsock, started on first use), and the error numbers each system
// gives for the failures the tests provoke.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

#include <cstddef>
#include <cstdint>

#include "testing/wine.h"

namespace quorbin::testing {

#ifdef _WIN32
using SocketHandle = SOCKET;
inline constexpr SocketHandle kNoSocket = INVALID_SOCKET;
inline constexpr int kConnectionRefusedNumber = WSAECONNREFUSED;  // 10061
inline constexpr int kConnectionResetNumber = WSAECONNRESET;      // 10054
inline constexpr int kTimedOutNumber = WSAETIMEDOUT;              // 10060

inline void StartSockets() {
  static const bool started = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}
inline void CloseSocket(SocketHandle handle) {
  closesocket(handle);
}
inline int LastSocketError() {
  return WSAGetLastError();
}
// Waits up to `ms` for `handle` to be readable (or, with `write`, writable).
inline bool WaitReady(SocketHandle handle, int ms, bool write = false) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(handle, &set);
  timeval limit{ms / 1000, (ms % 1000) * 1000};
  return select(0, write ? nullptr : &set, write ? &set : nullptr, nullptr, &limit) > 0;
}
inline int SendSome(SocketHandle handle, const char* bytes, std::size_t count) {
  return send(handle, bytes, static_cast<int>(count), 0);
}
inline int ReceiveSome(SocketHandle handle, char* buffer, std::size_t capacity) {
  return recv(handle, buffer, static_cast<int>(capacity), 0);
}
inline SocketHandle NewTcpSocket() {
  StartSockets();
  return WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
}
inline SocketHandle AcceptConnection(SocketHandle listener) {
  return accept(listener, nullptr, nullptr);
}
// Wine closes a socket in order even with a zero linger time, so a test server
// under Wine cannot reset a connection.
inline bool CanResetConnections() {
  return !RunningUnderWine();
}
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
inline constexpr int kConnectionRefusedNumber = ECONNREFUSED;  // 111
inline constexpr int kConnectionResetNumber = ECONNRESET;      // 104
inline constexpr int kTimedOutNumber = ETIMEDOUT;              // 110

inline void StartSockets() {}
inline void CloseSocket(SocketHandle handle) {
  ::close(handle);
}
inline int LastSocketError() {
  return errno;
}
inline bool WaitReady(SocketHandle handle, int ms, bool write = false) {
  pollfd entry{handle, static_cast<short>(write ? POLLOUT : POLLIN), 0};
  return poll(&entry, 1, ms) > 0;
}
inline int SendSome(SocketHandle handle, const char* bytes, std::size_t count) {
  return static_cast<int>(send(handle, bytes, count, MSG_NOSIGNAL));
}
inline int ReceiveSome(SocketHandle handle, char* buffer, std::size_t capacity) {
  return static_cast<int>(recv(handle, buffer, capacity, 0));
}
// Not inherited by the agent processes that tests start.
inline SocketHandle NewTcpSocket() {
  return socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}
inline SocketHandle AcceptConnection(SocketHandle listener) {
  return accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
}
inline bool CanResetConnections() {
  return true;
}
#endif

// A TCP socket bound to an ephemeral port of 127.0.0.1; listening when asked,
// else a port that refuses connections while it is held. It counts nothing
// itself: WasContacted tells whether a connection is waiting to be accepted.
class LoopbackPort {
 public:
  explicit LoopbackPort(bool listening);
  ~LoopbackPort() { CloseSocket(handle_); }
  LoopbackPort(const LoopbackPort&) = delete;
  LoopbackPort& operator=(const LoopbackPort&) = delete;

  std::uint16_t port() const { return port_; }
  bool WasContacted() const;

 private:
  SocketHandle handle_ = kNoSocket;
  std::uint16_t port_ = 0;
};

inline LoopbackPort::LoopbackPort(bool listening) {
  handle_ = NewTcpSocket();
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(handle_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  if (listening) listen(handle_, 8);
  getsockname(handle_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
}

inline bool LoopbackPort::WasContacted() const {
  if (!WaitReady(handle_, 0)) return false;
  const SocketHandle connection = AcceptConnection(handle_);
  if (connection == kNoSocket) return false;
  CloseSocket(connection);
  return true;
}

}  // namespace quorbin::testing
