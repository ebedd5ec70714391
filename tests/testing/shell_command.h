// Runs a shell command for a test fixture and collects what it printed.
#pragma once

#include <string>
#include <vector>

namespace quorbin::testing {

struct CommandResult {
  int exit_code = -1;
  std::string output;  // standard output and standard error together
};

CommandResult RunCommand(const std::string& command);

// The lines of `text` (what a command printed, a trace), split at line feeds.
std::vector<std::string> OutputLines(const std::string& text);

// `text` in single quotes for the shell.
std::string ShellQuote(const std::string& text);

// Sets (or, with nullptr, removes) an environment variable until the end of the
// scope, then puts back what was there.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const char* value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  bool had_value_ = false;
  std::string previous_;
};

}  // namespace quorbin::testing
