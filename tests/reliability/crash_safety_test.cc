// The real agent killed (SIGKILL) at random moments of its passes over pending
// invoices and closings, on both real database backends, with the web API played
// by a scripted server on the debug address that answers each upload 200 after a
// random delay. After every kill, each row marked exported must have been
// answered 200; after the kills, one run left alone must upload every row still
// pending. A row answered 200 whose mark the kill prevented is sent again by the
// next run: counted, not a loss.
//
// QUORBIN_CRASH_INVOICES and QUORBIN_CRASH_KILLS set the size of the run
// (scripts/reliability runs a longer one); kills and rows lost are recorded for
// its table (tests/support/hostile_case.h).
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <random>
#include <set>

#include "nfce_tree.h"
#include "shell/agent.h"
#include "support/hostile_case.h"
#include "support/scripted_http_server.h"
#include "support/terminal.h"

namespace quorbin {
namespace {

using namespace std::chrono_literals;
using testing::Backend;
using testing::HttpAnswer;
using testing::ScriptedAnswer;
using testing::ScriptedHttpServer;
using testing::Terminal;
using testing::WaitFor;

constexpr std::uint16_t kDebugPort = 8000;

int FromEnvironment(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::atoi(value) : fallback;
}

// The value of a `"name":"` member in a request body, up to its closing quote.
std::string Member(const std::string& request, const std::string& name) {
  const std::string opening = "\"" + name + "\":\"";
  const auto start = request.find(opening);
  if (start == std::string::npos) return {};
  const auto from = start + opening.size();
  return request.substr(from, request.find('"', from) - from);
}

// The web API: a token for the login; every upload answered 200 after a random
// delay, its invoice key or closing code noted as accepted when the answer is
// chosen (so a kill while it travels leaves a row accepted but not marked).
class AcceptingApi {
 public:
  AcceptingApi() : server_(kDebugPort) {
    server_.SetResponder([this](const std::string& request) { return Answer(request); });
  }

  std::set<std::string> AcceptedInvoices() const {
    std::lock_guard lock(mutex_);
    return invoices_;
  }
  std::set<std::string> AcceptedClosings() const {
    std::lock_guard lock(mutex_);
    return closings_;
  }
  int Uploads() const {
    std::lock_guard lock(mutex_);
    return uploads_;
  }

 private:
  ScriptedAnswer Answer(const std::string& request) {
    const std::string ok = HttpAnswer("HTTP/1.1 200 OK", {}, "{}");
    if (request.starts_with("POST /api/pdv/login/ ")) {
      return ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK", {}, "\"tok-crash\""));
    }
    std::lock_guard lock(mutex_);
    ++uploads_;
    if (const std::string id = Member(request, "nf_id"); !id.empty()) {
      invoices_.insert(id.substr(3));  // "NFe" + the key
    } else if (const std::string code = Member(request, "closing"); !code.empty()) {
      closings_.insert(code);
    }
    return ScriptedAnswer().Pause(std::chrono::milliseconds(random_() % 250)).Send(ok);
  }

  mutable std::mutex mutex_;
  std::mt19937 random_{7};
  std::set<std::string> invoices_;
  std::set<std::string> closings_;
  int uploads_ = 0;
  ScriptedHttpServer server_;
};

struct Layout {
  std::string rows_sql;
  std::map<std::string, int> number_of_key;  // invoice key -> CUPOM.NUMERO
  int closings = 0;
};

// Pending invoices (files at their direct paths) and closings whose JSON names
// their code, so that the server can tell them apart.
Layout PendingRows(Backend backend, const std::filesystem::path& drive_c, int invoices) {
  Layout layout;
  layout.closings = invoices / 20 + 2;
  const bool sqlite = backend == Backend::kOdbcSqlite;
  std::string& sql = layout.rows_sql;
  if (sqlite) sql += "BEGIN;\n";
  for (int code = 1; code <= layout.closings; ++code) {
    sql += "INSERT INTO FECHAMENTOS VALUES (" + std::to_string(code) + ", '{\"closing\":\"" +
           std::to_string(code) + "\",\"total\":10.50}', 0, NULL);\n";
  }
  const auto written = bench::WriteDirectInvoices(drive_c, invoices);
  for (std::size_t i = 0; i < written.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    const auto& invoice = written[i];
    layout.number_of_key[invoice.key] = number;
    sql += "INSERT INTO CUPOM VALUES (" + std::to_string(number) + ", " + std::to_string(number) +
           ", '" + invoice.key + "', '" + invoice.month.substr(0, 4) + "-" +
           invoice.month.substr(4, 2) + "-15', '10:30:00', 0, 0, 0);\n";
  }
  if (sqlite) sql += "COMMIT;\n";
  return layout;
}

std::string InList(const std::set<std::string>& values) {
  std::string list = "(-1";
  for (const auto& value : values) list += ", " + value;
  return list + ")";
}

class CrashSafetyTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    terminal_ = std::make_unique<Terminal>(GetParam());
    const int invoices = FromEnvironment("QUORBIN_CRASH_INVOICES", 40);
    // The rows go in after the schema, once the files exist on drive C.
    layout_ = PendingRows(GetParam(), terminal_->drive_c(), invoices);
    terminal_->database().Execute(layout_.rows_sql);
    terminal_->InstallPosProgram();
    terminal_->WriteSettings("[MAIN]\r\nDEBUG=1\r\n");
  }

  int Count(const std::string& where) {
    return std::stoi(terminal_->database().Scalar("SELECT count(*) FROM " + where));
  }

  // Rows marked exported that the server never accepted.
  int MarkedWithoutAcceptance() {
    std::set<std::string> numbers;
    for (const auto& key : api_.AcceptedInvoices()) {
      numbers.insert(std::to_string(layout_.number_of_key.at(key)));
    }
    return Count("CUPOM WHERE WEB_EX = 1 AND NUMERO NOT IN " + InList(numbers)) +
           Count("FECHAMENTOS WHERE WEB_EX = 1 AND CODIGO NOT IN " +
                 InList(api_.AcceptedClosings()));
  }

  int Pending() { return Count("CUPOM WHERE WEB_EX = 0") + Count("FECHAMENTOS WHERE WEB_EX = 0"); }

  // Starts the agent and waits for its pass to begin (the first pass runs at once).
  bool StartPass() {
    const auto passes_before = PassStarts();
    terminal_->agent().Start();
    return WaitFor([&] { return PassStarts() > passes_before; }, 30s);
  }
  std::size_t PassStarts() {
    std::size_t count = 0;
    for (const auto& message : terminal_->LogMessages()) count += message == PassStartMessage();
    return count;
  }

  std::unique_ptr<Terminal> terminal_;
  Layout layout_;
  AcceptingApi api_;
};

TEST_P(CrashSafetyTest, KillsNeverMarkAnUnacceptedRowAndTheNextRunUploadsTheRest) {
  const std::string backend = testing::BackendName(GetParam());
  const int kills = FromEnvironment("QUORBIN_CRASH_KILLS", 8);
  std::mt19937 random(11);
  int survived = 0;
  for (int kill = 1; kill <= kills && Pending() > 0; ++kill) {
    testing::HostileCase record("kills (SIGKILL in a pass)", backend + " kill " +
                                                                 std::to_string(kill));
    ASSERT_TRUE(StartPass()) << terminal_->agent().StandardError();
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 6000));
    terminal_->agent().Signal(SIGKILL);
    EXPECT_EQ(terminal_->agent().Wait(10s), -SIGKILL);
    const int wrongly_marked = MarkedWithoutAcceptance();
    EXPECT_EQ(wrongly_marked, 0) << "after kill " << kill;
    survived += wrongly_marked == 0;
    record.Finish(wrongly_marked == 0);
  }

  // Left alone, the next run uploads everything still pending.
  ASSERT_TRUE(StartPass());
  const int rows = static_cast<int>(layout_.number_of_key.size()) + layout_.closings;
  const auto limit = std::chrono::seconds(30 + rows);
  const bool all_exported = WaitFor([&] { return Pending() == 0; }, limit);
  terminal_->agent().Signal(SIGTERM);
  EXPECT_EQ(terminal_->agent().Wait(30s), 0);
  EXPECT_TRUE(all_exported) << Pending() << " rows still pending";
  const int lost = Pending() + MarkedWithoutAcceptance();
  EXPECT_EQ(lost, 0);

  const int resent = api_.Uploads() - rows;
  std::printf("%s: %d kills survived, %d rows lost, %d of %d rows sent again after a kill\n",
              backend.c_str(), survived, lost, resent, rows);
  testing::RecordFigure("rows uploaded", rows);
  testing::RecordFigure("rows lost", lost);
  testing::RecordFigure("rows sent again after a kill", resent);
}

INSTANTIATE_TEST_SUITE_P(Backends, CrashSafetyTest,
                         ::testing::Values(Backend::kOdbcSqlite, Backend::kFirebird),
                         [](const auto& info) { return testing::BackendName(info.param); });

}  // namespace
}  // namespace quorbin
