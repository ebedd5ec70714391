// What the activity log tells a technician about the agent's recent work: when
// the last pass started, when the last closing or invoice was sent, and the
// refusals logged after that send (every refusal in the log when nothing was
// ever sent). Only stamped lines count; their stamps are kept as written.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorbin {

struct LogSummary {
  std::optional<std::string> last_pass_start;  // "dd/mm/yyyy hh:nn:ss"
  std::optional<std::string> last_sent;        // the whole line
  std::vector<std::string> refusals;           // the whole lines, oldest first
};

LogSummary SummarizeLog(const std::vector<std::string>& lines);

// The summary of `log_file`; empty when the file does not exist. A log that
// cannot be read (or is larger than the check reads) raises Failure.
LogSummary ReadLogSummary(const std::filesystem::path& log_file);

}  // namespace quorbin
