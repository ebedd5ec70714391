// The real agent binary, run from a temporary executable directory as a terminal
// would run it: copied there, started with its own lock name and drive C, without
// a display unless the test gives one.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorbin::testing {

class AgentProcess {
 public:
  // Copies `binary` into `directory` as "quorbin_sync".
  AgentProcess(const std::filesystem::path& binary, const std::filesystem::path& directory);
  ~AgentProcess();  // kills a process still running

  // Extra or replaced environment variables; an empty value removes one.
  void SetEnv(const std::string& name, const std::string& value) { env_[name] = value; }
  std::string Env(const std::string& name) const {
    const auto found = env_.find(name);
    return found == env_.end() ? std::string() : found->second;
  }

  // Standard output and error go to "stdout.txt" and "stderr.txt" beside it.
  void Start(const std::vector<std::string>& arguments = {});
  void Signal(int signal);
  // The exit code, or nullopt when it did not end in time (or ended by a signal:
  // then -signal).
  std::optional<int> Wait(std::chrono::milliseconds limit);
  bool Running();

  const std::filesystem::path& executable() const { return executable_; }
  std::string LogText() const;  // "log_sync.txt", empty when absent
  std::string StandardOutput() const;
  std::string StandardError() const;

 private:
  std::filesystem::path executable_;
  std::map<std::string, std::string> env_;
  pid_t pid_ = -1;
  std::optional<int> exit_code_;
};

// Waits until `condition` holds or `limit` passes; returns the condition's value.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit);

}  // namespace quorbin::testing

#include <thread>

template <typename Condition>
bool quorbin::testing::WaitFor(Condition condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}
