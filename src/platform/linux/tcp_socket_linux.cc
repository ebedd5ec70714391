#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/call_within.h"
#include "platform/tcp_socket.h"

namespace quorbin::platform {
namespace {

// The English description, whatever the locale's language.
SocketError ErrorFromErrno(int number) {
  const char* text = strerrordesc_np(number);
  return SocketError{number, std::string(text ? text : "Unknown error") + "."};
}

int TimeoutArgument(std::chrono::milliseconds timeout) {
  const auto ms = timeout.count();
  return ms < 0 ? 0 : ms > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(ms);
}

// Waits until `events` are ready; nullopt when they are.
std::optional<SocketError> WaitFor(int handle, short events, std::chrono::milliseconds timeout) {
  pollfd entry{handle, events, 0};
  for (;;) {
    const int ready = poll(&entry, 1, TimeoutArgument(timeout));
    if (ready > 0) return std::nullopt;
    if (ready == 0) return TimedOutError();
    if (errno != EINTR) return ErrorFromErrno(errno);
  }
}

}  // namespace

SocketError TimedOutError() {
  return ErrorFromErrno(ETIMEDOUT);
}

std::optional<SocketError> ResolveIpv4(const std::string& host, std::uint32_t& address,
                                       std::chrono::milliseconds timeout) {
  in_addr literal{};
  if (inet_pton(AF_INET, host.c_str(), &literal) == 1) {
    address = literal.s_addr;
    return std::nullopt;
  }
  struct Lookup {
    int status = 0;
    int number = 0;  // errno, for EAI_SYSTEM
    std::uint32_t address = 0;
  };
  const auto lookup = CallWithin<Lookup>(timeout, [host] {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    Lookup result;
    result.status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
    result.number = errno;
    if (result.status == 0 && found == nullptr) result.status = EAI_NONAME;
    if (result.status == 0) {
      result.address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    }
    if (found) freeaddrinfo(found);
    return result;
  });
  if (!lookup) return TimedOutError();
  if (lookup->status == EAI_SYSTEM) return ErrorFromErrno(lookup->number);
  if (lookup->status != 0) {
    return SocketError{lookup->status < 0 ? -lookup->status : lookup->status, "Host not found."};
  }
  address = lookup->address;
  return std::nullopt;
}

std::optional<SocketError> TcpSocket::Connect(std::uint32_t address, std::uint16_t port,
                                              std::chrono::milliseconds timeout) {
  handle_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (handle_ < 0) return ErrorFromErrno(errno);
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  target.sin_addr.s_addr = address;
  if (connect(handle_, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
    return std::nullopt;
  }
  if (errno != EINPROGRESS) {
    const SocketError error = ErrorFromErrno(errno);
    Close();
    return error;
  }
  if (auto error = WaitFor(handle_, POLLOUT, timeout)) {
    Close();
    return error;
  }
  int pending = 0;
  socklen_t length = sizeof pending;
  if (getsockopt(handle_, SOL_SOCKET, SO_ERROR, &pending, &length) != 0) pending = errno;
  if (pending != 0) {
    Close();
    return ErrorFromErrno(pending);
  }
  return std::nullopt;
}

std::optional<SocketError> TcpSocket::SendAll(std::string_view bytes,
                                              std::chrono::milliseconds idle_timeout) {
  while (!bytes.empty()) {
    const auto wait = Bounded(idle_timeout);
    if (!wait) return TimedOutError();
    const ssize_t sent = send(handle_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (auto error = WaitFor(handle_, POLLOUT, *wait)) return error;
    } else if (sent < 0 && errno != EINTR) {
      return ErrorFromErrno(errno);
    }
  }
  return std::nullopt;
}

std::optional<SocketError> TcpSocket::Receive(char* buffer, std::size_t capacity,
                                              std::chrono::milliseconds idle_timeout,
                                              std::size_t& received) {
  for (;;) {
    const auto wait = Bounded(idle_timeout);
    if (!wait) return TimedOutError();
    const ssize_t count = recv(handle_, buffer, capacity, 0);
    if (count >= 0) {
      received = static_cast<std::size_t>(count);
      return std::nullopt;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      if (auto error = WaitFor(handle_, POLLIN, *wait)) return error;
    } else if (errno != EINTR) {
      return ErrorFromErrno(errno);
    }
  }
}

void TcpSocket::Close() noexcept {
  if (handle_ < 0) return;
  ::close(handle_);
  handle_ = -1;
  deadline_.reset();
}

}  // namespace quorbin::platform
