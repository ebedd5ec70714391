#include "testing/firebird_fixture.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

namespace quorbin::testing {
namespace {

// The server opens the file as `firebird`: the folder is theirs.
void GiveToFirebird(const std::filesystem::path& folder) {
  if (const passwd* user = getpwnam("firebird");
      user && chown(folder.c_str(), user->pw_uid, user->pw_gid) == 0) {
    return;
  }
  std::filesystem::permissions(folder, std::filesystem::perms::all);
}

std::string Trim(const std::string& text) {
  const auto begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return std::string();
  return text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

}  // namespace

namespace {
std::string FirebirdServiceScript() {
  return std::string(QUORBIN_SOURCE_DIR) + "/scripts/services.d/firebird";
}
}  // namespace

CommandResult StopFirebird() {
  return RunCommand(FirebirdServiceScript() + " stop");
}

CommandResult StartFirebird() {
  return RunCommand(FirebirdServiceScript());
}

bool FirebirdListening() {
  const int sock = socket(AF_INET, SOCK_STREAM, 0);
  if (sock < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(3050);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool connected = connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(sock);
  return connected;
}

bool WaitForFirebird(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!FirebirdListening()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

FirebirdDatabase::FirebirdDatabase(std::string_view schema_sql)
    : drive_variable_("QUORBIN_DRIVE_C", drive_.path().c_str()) {
  const std::filesystem::path folder = drive_.path() / "Tavrellis" / "PDV" / "BD";
  std::filesystem::create_directories(folder);
  GiveToFirebird(folder);
  file_ = folder / "VELPDV.FDB";
  if (!FirebirdListening()) {
    ADD_FAILURE() << "no Firebird server on 127.0.0.1:3050; run scripts/start-services";
    return;
  }
  const CommandResult created =
      RunIsql("CREATE DATABASE 'localhost:" + file_.string() + "' USER 'SYSDBA' PASSWORD '" +
              kFirebirdPassword + "' PAGE_SIZE 8192;\n" + std::string(schema_sql) + "\nCOMMIT;\n");
  EXPECT_EQ(created.exit_code, 0) << created.output;
}

CommandResult FirebirdDatabase::RunIsql(const std::string& script) {
  const std::filesystem::path script_file = drive_.path() / "script.sql";
  WriteBytes(script_file, script);
  return RunCommand("isql-fb -q -b -user SYSDBA -password " + std::string(kFirebirdPassword) +
                    " -i " + ShellQuote(script_file.string()));
}

void FirebirdDatabase::Execute(std::string_view sql) {
  const CommandResult result =
      RunIsql("CONNECT 'localhost:" + file_.string() + "';\n" + std::string(sql) + "\nCOMMIT;\n");
  EXPECT_EQ(result.exit_code, 0) << result.output;
}

std::vector<std::string> FirebirdDatabase::Rows(std::string_view select) {
  const CommandResult result = RunIsql("CONNECT 'localhost:" + file_.string() +
                                       "';\nSET HEADING OFF;\n" + std::string(select) + ";\n");
  EXPECT_EQ(result.exit_code, 0) << result.output;
  std::vector<std::string> rows;
  for (const std::string& line : OutputLines(result.output)) {
    if (std::string trimmed = Trim(line); !trimmed.empty()) rows.push_back(trimmed);
  }
  return rows;
}

}  // namespace quorbin::testing
