// What the agent was asked to do by its command line: run (no argument), check
// the terminal (--check), print its version (--version) or its usage (--help).
// Anything else is a usage error: the usage goes to the error output and the
// process ends with kUsageErrorCode, so a mistyped switch never starts an agent.
#pragma once

#include <string>
#include <vector>

namespace quorbin {

enum class RunMode { kAgent, kCheck, kVersion, kHelp, kUsageError };

inline constexpr int kUsageErrorCode = 2;

// `arguments` without the program name.
RunMode ParseCommandLine(const std::vector<std::string>& arguments);

// "quorbin_sync 1.2", one line.
std::string VersionText();
// The usage, several lines, each ending in "\n".
std::string HelpText();

}  // namespace quorbin
