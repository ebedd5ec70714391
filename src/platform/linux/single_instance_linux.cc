#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "platform/single_instance.h"

namespace quorbin::platform {

std::string SingleInstanceName() {
  const char* configured = std::getenv("QUORBIN_LOCK_NAME");
  return configured && *configured ? configured : "QuorbinEC";
}

// An abstract Unix socket bound under the lock's name: only one process can bind
// a name, and the kernel frees it when that process ends, however it ends.
namespace {

constexpr std::size_t kMaxBoundLength = sizeof(sockaddr_un::sun_path) - 1;

std::string BoundName(const std::string& name) {
  return ("quorbin-lock/" + name).substr(0, kMaxBoundLength);
}

}  // namespace

bool AcquireSingleInstance(const std::string& name) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return true;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string bound = BoundName(name);
  const std::size_t length = bound.size();
  std::memcpy(address.sun_path + 1, bound.data(), length);
  const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0) return true;  // kept open
  const bool taken = errno == EADDRINUSE;
  close(fd);
  return !taken;
}

// The kernel lists every bound abstract socket in /proc/net/unix, its name last
// on the line after "@".
bool IsSingleInstanceHeld(const std::string& name) {
  std::ifstream sockets("/proc/net/unix");
  const std::string wanted = " @" + BoundName(name);
  for (std::string line; std::getline(sockets, line);) {
    if (line.ends_with(wanted)) return true;
  }
  return false;
}

}  // namespace quorbin::platform
