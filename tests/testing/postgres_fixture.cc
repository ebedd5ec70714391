#include "testing/postgres_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "testing/temp_dir.h"

namespace quorbin::testing {
namespace {

std::string ServiceScript() {
  return std::string(QUORBIN_SOURCE_DIR) + "/scripts/services.d/postgresql";
}

bool in_use = false;

// Where the test command has started the server (QUORBIN_REQUIRE_POSTGRES=1), a
// server that cannot be used fails the case: CI must not pass by skipping.
void Skip(const std::string& why) {
  if (const char* required = std::getenv("QUORBIN_REQUIRE_POSTGRES");
      required && std::string_view(required) == "1") {
    ADD_FAILURE() << why;
    return;
  }
  GTEST_SKIP() << why;
}

}  // namespace

std::string Psql(const std::string& database) {
  return "env PGCLIENTENCODING=UTF8 psql -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p " +
         std::to_string(kPostgresPort) + " -U sa -d " + ShellQuote(database) + " ";
}

CommandResult StartPostgres() {
  return RunCommand(ServiceScript());
}

CommandResult StopPostgres() {
  return RunCommand(ServiceScript() + " stop");
}

CommandResult KillPostgres() {
  return RunCommand(ServiceScript() + " kill");
}

bool PostgresListening() {
  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  if (sock < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(kPostgresPort);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected = connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(sock);
  return connected;
}

PostgresDatabase::PostgresDatabase(std::string_view schema_sql)
    : address_("PGHOSTADDR", "127.0.0.1"),
      port_("PGPORT", std::to_string(kPostgresPort).c_str()),
      registration_(kPostgresDriverName, "psqlodbcw.so") {
  if (in_use) {
    ADD_FAILURE() << "a second PostgreSQL database in one process: there is one VELPDV";
    return;
  }
  if (const std::string unusable = TakeServer(); !unusable.empty()) {
    Skip(unusable);
    return;
  }
  in_use = true;
  usable_ = true;
  const CommandResult created =
      RunCommand(Psql("postgres") + "-c 'DROP DATABASE IF EXISTS \"VELPDV\" WITH (FORCE)' " +
                 "-c 'CREATE DATABASE \"VELPDV\"'");
  EXPECT_EQ(created.exit_code, 0) << created.output;
  Execute(schema_sql);
}

PostgresDatabase::~PostgresDatabase() {
  if (lock_ < 0) return;
  close(lock_);
  in_use = false;
}

std::string PostgresDatabase::TakeServer() {
  // Not created here: the service script makes it, so a missing one means the
  // service was never started on this machine. Not inherited by the agents and
  // commands the test starts: a process left behind must not keep the server
  // from the next test.
  lock_ = open(kPostgresLockFile, O_RDONLY | O_CLOEXEC);
  if (lock_ < 0) {
    return std::string("cannot open ") + kPostgresLockFile + " (" + std::strerror(errno) +
           "): the PostgreSQL service was not started here; run scripts/start-services as root";
  }
  if (flock(lock_, LOCK_EX) != 0) {
    const std::string reason = std::strerror(errno);
    close(lock_);
    lock_ = -1;
    return std::string("cannot lock ") + kPostgresLockFile + ": " + reason;
  }
  if (PostgresListening()) return {};
  // Down while nobody else holds it: a test was killed while it had stopped it.
  const CommandResult started = StartPostgres();
  if (PostgresListening()) return {};
  return "no PostgreSQL server on 127.0.0.1:" + std::to_string(kPostgresPort) +
         " and it cannot be started here: " + started.output;
}

void PostgresDatabase::Execute(std::string_view sql) const {
  if (!usable_) return;
  const TempDir folder;
  WriteBytes(folder / "script.sql", sql);
  const CommandResult result =
      RunCommand(Psql("VELPDV") + "-f " + ShellQuote((folder / "script.sql").string()));
  EXPECT_EQ(result.exit_code, 0) << result.output;
}

std::vector<std::string> PostgresDatabase::Rows(std::string_view select) const {
  if (!usable_) return {};
  const CommandResult result =
      RunCommand(Psql("VELPDV") + "-A -t -F '|' -c " + ShellQuote(std::string(select)));
  EXPECT_EQ(result.exit_code, 0) << result.output;
  return OutputLines(result.output);
}

}  // namespace quorbin::testing
