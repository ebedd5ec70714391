#include "check/log_summary.h"

#include <string_view>

#include "api/error_page.h"
#include "support/line_file.h"

namespace quorbin {
namespace {

// A log of some years is a few tens of megabytes.
constexpr std::size_t kMaxLogBytes = std::size_t{256} << 20;
constexpr std::string_view kStampEnd = "] : ";
// The pass start message up to its version, which follows the regional settings.
constexpr std::string_view kPassStartPrefix = "Iniciando processo de sincronia... ";

struct StampedLine {
  std::string_view stamp;
  std::string_view message;
};

std::optional<StampedLine> SplitStamp(std::string_view line) {
  if (!line.starts_with('[')) return std::nullopt;
  const auto end = line.find(kStampEnd);
  if (end == std::string_view::npos) return std::nullopt;
  return StampedLine{line.substr(1, end - 1), line.substr(end + kStampEnd.size())};
}

// "Fechamento numero N enviado.", "Nota numero N enviada." and "Nota numero N
// cancelada no servidor.": the lines of a 200 answer.
bool IsSentLine(std::string_view message) {
  if (message.starts_with("Fechamento numero ")) return message.ends_with(" enviado.");
  if (message.starts_with("Nota numero ")) {
    return message.ends_with(" enviada.") || message.ends_with(" cancelada no servidor.");
  }
  return false;
}

}  // namespace

LogSummary SummarizeLog(const std::vector<std::string>& lines) {
  LogSummary summary;
  for (const std::string& line : lines) {
    const auto stamped = SplitStamp(line);
    if (!stamped) continue;
    if (stamped->message.starts_with(kPassStartPrefix)) {
      summary.last_pass_start = std::string(stamped->stamp);
    } else if (IsSentLine(stamped->message)) {
      summary.last_sent = line;
      summary.refusals.clear();
    } else if (stamped->message.starts_with(kRefusalLogStart)) {
      summary.refusals.push_back(line);
    }
  }
  return summary;
}

LogSummary ReadLogSummary(const std::filesystem::path& log_file) {
  std::error_code error;
  if (!std::filesystem::exists(log_file, error)) return {};
  const LineFile file = DecodeLineFile(ReadRegularFileBytes(log_file, kMaxLogBytes));
  return SummarizeLog(file.lines);
}

}  // namespace quorbin
