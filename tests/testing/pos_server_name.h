// The server name of the agent's first SQL Server profile, LOCALHOST\QUORPDV,
// made to resolve to 127.0.0.1 for a test program and every process it starts,
// so that the agent's unchanged connection string reaches the tests' PostgreSQL
// server (psqlODBC hands the Server value to libpq, which resolves it with
// getaddrinfo; glibc's files lookup accepts the backslash).
//
// The program moves into a mount namespace of its own (every mount in it made
// private first, so nothing reaches the system's), and a copy of /etc/hosts with
// the line "127.0.0.1 LOCALHOST\QUORPDV" added is bind-mounted over /etc/hosts
// there. The system's /etc/hosts stays as it was; the namespace ends with the
// last process in it. A process that runs more than one thread cannot change
// its mount namespace, so test programs do it first thing in main
// (testing/main/test_main.cc). Needs root (CAP_SYS_ADMIN).
#pragma once

#include <string>

namespace quorbin::testing {

inline constexpr const char* kPosServerName = "LOCALHOST\\QUORPDV";

// Maps the name for this process and its children; returns why it could not
// (empty when it did).
std::string MapPosServerName();

// Whether kPosServerName resolves to 127.0.0.1 here.
bool PosServerNameResolves();

}  // namespace quorbin::testing
