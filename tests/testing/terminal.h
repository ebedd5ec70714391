// A whole terminal in temporary folders, for end-to-end tests of the real agent:
// the point-of-sale database on one of the real backends (the tables the agent
// uses with the series and the emitter, testing/pos_schema.h), drive C with the point-of-sale
// program and its NFC-e folders, and the executable directory with sync.ini and a copy of the
// agent.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "testing/agent_process.h"
#include "testing/temp_dir.h"
#include "testing/test_databases.h"

namespace quorbin::testing {

class Terminal {
 public:
  explicit Terminal(Backend backend, std::string_view rows_sql = {});

  TestDatabase& database() { return *database_; }
  const std::filesystem::path& drive_c() const { return drive_c_; }
  const std::filesystem::path& executable_directory() const { return executable_dir_.path(); }

  // Creates "C:\Tavrellis\PDV\Quorbin.exe".
  void InstallPosProgram();
  void WriteSettings(std::string_view ini);

  // The agent of this terminal (created at the first call), not yet started.
  AgentProcess& agent();
  // The messages of the log, without their stamps.
  std::vector<std::string> LogMessages() const;

 private:
  std::unique_ptr<TestDatabase> database_;
  TempDir own_drive_;
  TempDir executable_dir_;
  std::filesystem::path drive_c_;
  std::unique_ptr<AgentProcess> agent_;
};

}  // namespace quorbin::testing
