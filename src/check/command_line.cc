#include "check/command_line.h"

#include "support/version.h"

namespace quorbin {

RunMode ParseCommandLine(const std::vector<std::string>& arguments) {
  if (arguments.empty()) return RunMode::kAgent;
  if (arguments.size() > 1) return RunMode::kUsageError;
  const std::string& argument = arguments.front();
  if (argument == "--check") return RunMode::kCheck;
  if (argument == "--version") return RunMode::kVersion;
  if (argument == "--help" || argument == "-h" || argument == "/?") return RunMode::kHelp;
  return RunMode::kUsageError;
}

std::string VersionText() {
  return std::string("quorbin_sync ") + kSyncVersion + "\n";
}

std::string HelpText() {
  return "Usage: quorbin_sync [--check | --version | --help]\n"
         "\n"
         "Without an argument the agent starts: it uploads the terminal's pending\n"
         "closings and NFC-e invoices every two minutes, beside its log_sync.txt.\n"
         "\n"
         "  --check    report whether uploads could proceed on this terminal and\n"
         "             exit with 0 when they could, otherwise 1. Changes nothing:\n"
         "             no log line, no row update, no login; it may run beside a\n"
         "             running agent. On Windows the report also goes to check.txt\n"
         "             beside the executable.\n"
         "  --version  print the version\n"
         "  --help     print this text\n";
}

}  // namespace quorbin
