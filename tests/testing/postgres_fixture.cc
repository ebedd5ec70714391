#include "testing/postgres_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include "testing/pos_server_name.h"
#include "testing/temp_dir.h"

namespace quorbin::testing {
namespace {

std::string ServiceScript() {
  return std::string(QUORBIN_SOURCE_DIR) + "/scripts/services.d/postgresql";
}

bool in_use = false;

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
    : port_("PGPORT", std::to_string(kPostgresPort).c_str()),
      registration_(kPostgresDriverName, "psqlodbcw.so") {
  if (in_use) {
    ADD_FAILURE() << "a second PostgreSQL database in one process: there is one VELPDV";
    return;
  }
  // Not inherited by the agents and commands the test starts: a process left
  // behind must not keep the server from the next test.
  lock_ = open(kPostgresLockFile, O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
  if (lock_ >= 0 && flock(lock_, LOCK_EX) != 0) {
    close(lock_);
    lock_ = -1;
  }
  if (lock_ < 0) {
    ADD_FAILURE() << "cannot lock " << kPostgresLockFile;
    return;
  }
  in_use = true;
  if (!PosServerNameResolves()) {
    ADD_FAILURE() << kPosServerName
                  << " does not resolve to 127.0.0.1: the test program maps it in a mount "
                     "namespace of its own at start, which needs root";
  }
  if (!PostgresListening()) {
    ADD_FAILURE() << "no PostgreSQL server on 127.0.0.1:" << kPostgresPort
                  << "; run scripts/start-services";
    return;
  }
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

void PostgresDatabase::Execute(std::string_view sql) const {
  const TempDir folder;
  WriteBytes(folder / "script.sql", sql);
  const CommandResult result =
      RunCommand(Psql("VELPDV") + "-f " + ShellQuote((folder / "script.sql").string()));
  EXPECT_EQ(result.exit_code, 0) << result.output;
}

std::vector<std::string> PostgresDatabase::Rows(std::string_view select) const {
  const CommandResult result =
      RunCommand(Psql("VELPDV") + "-A -t -F '|' -c " + ShellQuote(std::string(select)));
  EXPECT_EQ(result.exit_code, 0) << result.output;
  return OutputLines(result.output);
}

}  // namespace quorbin::testing
