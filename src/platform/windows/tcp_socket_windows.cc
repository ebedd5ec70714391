#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/call_within.h"
#include "platform/tcp_socket.h"

namespace quorbin::platform {
namespace {

struct KnownError {
  int number;
  const char* description;
};

// The English descriptions of the Winsock errors a client meets, whatever the
// language of the installation.
constexpr KnownError kKnownErrors[] = {
    {WSAEINTR, "Interrupted system call."},
    {WSAEBADF, "Bad file number."},
    {WSAEACCES, "Access denied."},
    {WSAEFAULT, "Bad address."},
    {WSAEINVAL, "Invalid argument."},
    {WSAEMFILE, "Too many open files."},
    {WSAEWOULDBLOCK, "Operation would block."},
    {WSAEINPROGRESS, "Operation now in progress."},
    {WSAEALREADY, "Operation already in progress."},
    {WSAENOTSOCK, "Socket operation on non-socket."},
    {WSAEDESTADDRREQ, "Destination address required."},
    {WSAEMSGSIZE, "Message too long."},
    {WSAEPROTOTYPE, "Protocol wrong type for socket."},
    {WSAENOPROTOOPT, "Bad protocol option."},
    {WSAEPROTONOSUPPORT, "Protocol not supported."},
    {WSAESOCKTNOSUPPORT, "Socket type not supported."},
    {WSAEOPNOTSUPP, "Operation not supported on socket."},
    {WSAEPFNOSUPPORT, "Protocol family not supported."},
    {WSAEAFNOSUPPORT, "Address family not supported by protocol family."},
    {WSAEADDRINUSE, "Address already in use."},
    {WSAEADDRNOTAVAIL, "Cannot assign requested address."},
    {WSAENETDOWN, "Network is down."},
    {WSAENETUNREACH, "Network is unreachable."},
    {WSAENETRESET, "Net dropped connection or reset."},
    {WSAECONNABORTED, "Software caused connection abort."},
    {WSAECONNRESET, "Connection reset by peer."},
    {WSAENOBUFS, "No buffer space available."},
    {WSAEISCONN, "Socket is already connected."},
    {WSAENOTCONN, "Socket is not connected."},
    {WSAESHUTDOWN, "Cannot send or receive after socket is closed."},
    {WSAETOOMANYREFS, "Too many references, cannot splice."},
    {WSAETIMEDOUT, "Connection timed out."},
    {WSAECONNREFUSED, "Connection refused."},
    {WSAELOOP, "Too many levels of symbolic links."},
    {WSAENAMETOOLONG, "File name too long."},
    {WSAEHOSTDOWN, "Host is down."},
    {WSAEHOSTUNREACH, "No route to host."},
    {WSAENOTEMPTY, "Directory not empty."},
    {WSASYSNOTREADY, "Network subsystem is unavailable."},
    {WSAVERNOTSUPPORTED, "Winsock version not supported."},
    {WSANOTINITIALISED, "Winsock not initialized."},
    {WSAHOST_NOT_FOUND, "Host not found."},
    {WSATRY_AGAIN, "Non-authoritative response (try again or check DNS setup)."},
    {WSANO_RECOVERY, "Non-recoverable errors: FORMERR, REFUSED, NOTIMP."},
    {WSANO_DATA, "Valid name, no data record (check DNS setup)."},
};

SocketError ErrorFromNumber(int number) {
  for (const KnownError& known : kKnownErrors) {
    if (known.number == number) return SocketError{number, known.description};
  }
  return SocketError{number, "Unknown socket error."};
}

SocketError LastError() {
  return ErrorFromNumber(WSAGetLastError());
}

// Winsock is started once for the process and stays started.
std::optional<SocketError> StartWinsock() {
  static const int status = [] {
    WSADATA data{};
    return WSAStartup(MAKEWORD(2, 2), &data);
  }();
  if (status != 0) return ErrorFromNumber(status);
  return std::nullopt;
}

timeval TimeoutArgument(std::chrono::milliseconds timeout) {
  const auto ms = timeout.count() < 0 ? 0 : timeout.count();
  const auto seconds = ms / 1000 > 0x7FFFFFFF ? 0x7FFFFFFF : ms / 1000;
  return timeval{static_cast<long>(seconds), static_cast<long>(ms % 1000) * 1000};
}

enum class Wait { kRead, kWrite, kConnect };

// Waits until the socket is ready; nullopt when it is. A connection attempt that
// failed shows in the exception set and reports its own error.
std::optional<SocketError> WaitFor(SOCKET handle, Wait wait, std::chrono::milliseconds timeout) {
  fd_set ready;
  fd_set failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(handle, &ready);
  FD_SET(handle, &failed);
  timeval limit = TimeoutArgument(timeout);
  const int count =
      select(0, wait == Wait::kRead ? &ready : nullptr, wait == Wait::kRead ? nullptr : &ready,
             wait == Wait::kConnect ? &failed : nullptr, &limit);
  if (count == SOCKET_ERROR) return LastError();
  if (count == 0) return TimedOutError();
  if (wait == Wait::kConnect && FD_ISSET(handle, &failed)) {
    int pending = 0;
    int length = sizeof pending;
    if (getsockopt(handle, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&pending), &length) != 0) {
      return LastError();
    }
    return ErrorFromNumber(pending != 0 ? pending : WSAECONNREFUSED);
  }
  return std::nullopt;
}

SOCKET Handle(std::intptr_t handle) {
  return static_cast<SOCKET>(handle);
}

int ChunkSize(std::size_t size) {
  return size > 0x40000000 ? 0x40000000 : static_cast<int>(size);
}

}  // namespace

SocketError TimedOutError() {
  return ErrorFromNumber(WSAETIMEDOUT);
}

// getaddrinfo has no time-out, and GetAddrInfoExW takes one only from Windows 8
// on: the lookup runs on a thread of its own, which the agent waits for at most
// `timeout`.
std::optional<SocketError> ResolveIpv4(const std::string& host, std::uint32_t& address,
                                       std::chrono::milliseconds timeout) {
  if (auto error = StartWinsock()) return error;
  in_addr literal{};
  if (inet_pton(AF_INET, host.c_str(), &literal) == 1) {
    address = literal.s_addr;
    return std::nullopt;
  }
  const auto found_address =
      CallWithin<std::optional<std::uint32_t>>(timeout, [host]() -> std::optional<std::uint32_t> {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int status = getaddrinfo(host.c_str(), nullptr, &hints, &found);
        std::optional<std::uint32_t> result;
        if (status == 0 && found != nullptr) {
          result = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
        }
        if (found) freeaddrinfo(found);
        return result;
      });
  if (!found_address) return TimedOutError();
  // Every name that does not resolve reads alike, as the system's resolver says.
  if (!*found_address) return ErrorFromNumber(WSAHOST_NOT_FOUND);
  address = **found_address;
  return std::nullopt;
}

std::optional<SocketError> TcpSocket::Connect(std::uint32_t address, std::uint16_t port,
                                              std::chrono::milliseconds timeout) {
  if (auto error = StartWinsock()) return error;
  const SOCKET handle = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                                   WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (handle == INVALID_SOCKET) return LastError();
  handle_ = static_cast<std::intptr_t>(handle);
  u_long non_blocking = 1;
  if (ioctlsocket(handle, FIONBIO, &non_blocking) != 0) {
    const SocketError error = LastError();
    Close();
    return error;
  }
  sockaddr_in target{};
  target.sin_family = AF_INET;
  target.sin_port = htons(port);
  target.sin_addr.s_addr = address;
  if (connect(handle, reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0) {
    return std::nullopt;
  }
  if (WSAGetLastError() != WSAEWOULDBLOCK) {
    const SocketError error = LastError();
    Close();
    return error;
  }
  if (auto error = WaitFor(handle, Wait::kConnect, timeout)) {
    Close();
    return error;
  }
  return std::nullopt;
}

std::optional<SocketError> TcpSocket::SendAll(std::string_view bytes,
                                              std::chrono::milliseconds idle_timeout) {
  while (!bytes.empty()) {
    const auto wait = Bounded(idle_timeout);
    if (!wait) return TimedOutError();
    const int sent = send(Handle(handle_), bytes.data(), ChunkSize(bytes.size()), 0);
    if (sent > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    } else if (sent == SOCKET_ERROR && WSAGetLastError() == WSAEWOULDBLOCK) {
      if (auto error = WaitFor(Handle(handle_), Wait::kWrite, *wait)) return error;
    } else if (sent == SOCKET_ERROR && WSAGetLastError() != WSAEINTR) {
      return LastError();
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
    const int count = recv(Handle(handle_), buffer, ChunkSize(capacity), 0);
    if (count >= 0) {
      received = static_cast<std::size_t>(count);
      return std::nullopt;
    }
    const int error = WSAGetLastError();
    if (error == WSAEWOULDBLOCK) {
      if (auto failure = WaitFor(Handle(handle_), Wait::kRead, *wait)) return failure;
    } else if (error != WSAEINTR) {
      return ErrorFromNumber(error);
    }
  }
}

void TcpSocket::Close() noexcept {
  if (handle_ == -1) return;
  closesocket(Handle(handle_));
  handle_ = -1;
  deadline_.reset();
}

}  // namespace quorbin::platform
