// The log's summary for the check: which lines count as a pass start, a send
// and a refusal, and which refusals are "since then".
#include "check/log_summary.h"

#include <gtest/gtest.h>

#include "check/command_line.h"

namespace quorbin {
namespace {

TEST(LogSummaryTest, RefusalsAreThoseAfterTheLastSendOfAnyKind) {
  struct Case {
    const char* name;
    std::vector<std::string> lines;
    std::optional<std::string> last_sent;
    std::size_t refusals;
  };
  const std::string refused = "[01/02/2026 10:00:05] : Erro ao enviar Post JSON:HTTP/1.1 500 X. ";
  const Case cases[] = {
      {"empty log", {}, std::nullopt, 0},
      {"never sent: every refusal", {refused, refused}, std::nullopt, 2},
      {"closing sent",
       {refused, "[01/02/2026 10:00:06] : Fechamento numero 12 enviado.", refused},
       "[01/02/2026 10:00:06] : Fechamento numero 12 enviado.",
       1},
      {"cancelled invoice sent",
       {refused, "[01/02/2026 10:00:07] : Nota numero 5 cancelada no servidor."},
       "[01/02/2026 10:00:07] : Nota numero 5 cancelada no servidor.",
       0},
      {"an answer other than 200 is no send",
       {"[01/02/2026 10:00:08] : Fechamento numero 12 Erro: HTTP/1.1 202 Accepted", refused},
       std::nullopt,
       1},
      {"unstamped continuation lines are ignored",
       {"Nota numero 5 enviada.", "Erro ao enviar Post JSON:HTTP/1.1 500 X. "},
       std::nullopt,
       0},
  };
  for (const Case& c : cases) {
    const LogSummary summary = SummarizeLog(c.lines);
    EXPECT_EQ(summary.last_sent, c.last_sent) << c.name;
    EXPECT_EQ(summary.refusals.size(), c.refusals) << c.name;
  }
}

TEST(LogSummaryTest, LastPassStartIsTheStampWhateverTheDecimalSeparator) {
  const LogSummary summary = SummarizeLog({
      "[01/02/2026 10:00:00] : Iniciando processo de sincronia... Vers\xC3\xA3o v1,2",
      "[01/02/2026 10:02:00] : Iniciando processo de sincronia... Vers\xC3\xA3o v1.2",
      "[01/02/2026 10:02:01] : Banco de dados - Firebird",
  });
  EXPECT_EQ(summary.last_pass_start, "01/02/2026 10:02:00");
}

TEST(CommandLineTest, OnlyOneKnownSwitchSelectsAMode) {
  const std::pair<std::vector<std::string>, RunMode> cases[] = {
      {{}, RunMode::kAgent},
      {{"--check"}, RunMode::kCheck},
      {{"--version"}, RunMode::kVersion},
      {{"--help"}, RunMode::kHelp},
      {{"/?"}, RunMode::kHelp},
      {{"--check", "--version"}, RunMode::kUsageError},
      {{"-check"}, RunMode::kUsageError},
      {{""}, RunMode::kUsageError},
  };
  for (const auto& [arguments, mode] : cases) {
    EXPECT_EQ(ParseCommandLine(arguments), mode) << ::testing::PrintToString(arguments);
  }
}

}  // namespace
}  // namespace quorbin
