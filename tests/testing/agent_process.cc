#include "testing/agent_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <vector>

#include "testing/temp_dir.h"

extern char** environ;

namespace quorbin::testing {

AgentProcess::AgentProcess(const std::filesystem::path& binary,
                           const std::filesystem::path& directory)
    : executable_(directory / "quorbin_sync") {
  std::filesystem::copy_file(binary, executable_,
                             std::filesystem::copy_options::overwrite_existing);
  env_["DISPLAY"] = "";
  env_["WAYLAND_DISPLAY"] = "";
  env_["QUORBIN_LOCK_NAME"] =
      "test-" + std::to_string(getpid()) + "-" + directory.filename().string();
  env_["QUORBIN_DRIVE_C"] = (directory / "drive_c").string();
}

AgentProcess::~AgentProcess() {
  if (pid_ > 0 && !exit_code_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

void AgentProcess::Start(const std::vector<std::string>& arguments) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    const auto equals = text.find('=');
    if (equals != std::string::npos) merged[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : env_) {
    if (value.empty()) {
      merged.erase(name);
    } else {
      merged[name] = value;
    }
  }
  std::vector<std::string> texts;
  for (const auto& [name, value] : merged) texts.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (auto& text : texts) envp.push_back(text.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string stderr_path = (executable_.parent_path() / "stderr.txt").string();
  posix_spawn_file_actions_addopen(&actions, 2, stderr_path.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  const std::string stdout_path = (executable_.parent_path() / "stdout.txt").string();
  posix_spawn_file_actions_addopen(&actions, 1, stdout_path.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::string program = executable_.string();
  std::vector<std::string> texts_of_argv = arguments;
  std::vector<char*> argv{program.data()};
  for (auto& argument : texts_of_argv) argv.push_back(argument.data());
  argv.push_back(nullptr);
  exit_code_.reset();
  const int error =
      posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("cannot start the agent");
}

void AgentProcess::Signal(int signal) {
  if (pid_ > 0 && !exit_code_) kill(pid_, signal);
}

bool AgentProcess::Running() {
  if (exit_code_ || pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
  exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  return false;
}

std::optional<int> AgentProcess::Wait(std::chrono::milliseconds limit) {
  WaitFor([this] { return !Running(); }, limit);
  return exit_code_;
}

std::string AgentProcess::LogText() const {
  return ReadBytes(executable_.parent_path() / "log_sync.txt");
}

std::string AgentProcess::StandardOutput() const {
  return ReadBytes(executable_.parent_path() / "stdout.txt");
}

std::string AgentProcess::StandardError() const {
  return ReadBytes(executable_.parent_path() / "stderr.txt");
}

}  // namespace quorbin::testing
