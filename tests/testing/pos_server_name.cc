#include "testing/pos_server_name.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sched.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>

#include "testing/temp_dir.h"

namespace quorbin::testing {
namespace {

std::string Reason(const std::string& step) {
  return step + ": " + strerror(errno);
}

}  // namespace

std::string MapPosServerName() {
  if (unshare(CLONE_NEWNS) != 0) return Reason("unshare(CLONE_NEWNS)");
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return Reason("making the mounts private");
  }
  char hosts[] = "/tmp/quorbin-hosts-XXXXXX";
  const int file = mkstemp(hosts);
  if (file < 0) return Reason("mkstemp");
  close(file);
  WriteBytes(hosts, ReadBytes("/etc/hosts") + "\n127.0.0.1 " + kPosServerName + "\n");
  const bool mounted = mount(hosts, "/etc/hosts", nullptr, MS_BIND, nullptr) == 0;
  const std::string failure = mounted ? std::string() : Reason("bind-mounting /etc/hosts");
  unlink(hosts);  // the mount keeps the file
  return failure;
}

bool PosServerNameResolves() {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(kPosServerName, nullptr, &hints, &found) != 0) return false;
  const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  const bool loopback = address->sin_addr.s_addr == htonl(INADDR_LOOPBACK);
  freeaddrinfo(found);
  return loopback;
}

}  // namespace quorbin::testing
