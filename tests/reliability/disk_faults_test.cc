// Disk faults around the real agent on a whole terminal: a log that cannot be
// written, an error folder that disappears in the middle of a pass or cannot be
// created, a full disk under the executable directory. Whatever the disk does,
// the agent keeps uploading, marks exported exactly what the server accepted,
// keeps running and ends with exit code 0 on SIGTERM; once the fault is gone,
// the refused invoice goes up. Each case is recorded for scripts/reliability.
//
// The faults are ones that stop root too, since the tests run as root: a folder
// where the log file should be, an immutable file (chattr +i), a read-only bind
// mount, a plain file where the error folder should be, a full tmpfs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "shell/agent.h"
#include "sync/sync_fixture.h"
#include "testing/debug_port.h"
#include "testing/hostile_case.h"
#include "testing/shell_command.h"
#include "testing/terminal.h"

namespace quorbin::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kDebugOn = "[MAIN]\r\nDEBUG=1\r\n";
constexpr const char* kEmitter = "12345678000190";
const std::vector<int> kInvoices = {101, 102, 103};
const std::vector<int> kClosings = {1, 2};
// Rows are handled in descending order, so the refused invoice sits in the
// middle of the pass and another row follows it.
constexpr int kRefused = 102;
// A line the log held before the agent started.
constexpr const char* kEarlierLine = "[01/03/2024 08:00:00] : Linha anterior\r\n";

std::string InvoiceKey(int number) {
  const std::string digits = std::to_string(number);
  return "3522051234567800019065001" + std::string(19 - digits.size(), '0') + digits;
}

// Two pending closings and three pending invoices of May 2022.
std::string PendingRows() {
  std::string sql;
  for (const int codigo : kClosings) {
    sql += "INSERT INTO FECHAMENTOS VALUES (" + std::to_string(codigo) +
           ", '{\"fechamento\": " + std::to_string(codigo) + "}', 0, NULL);\n";
  }
  for (const int number : kInvoices) {
    const std::string n = std::to_string(number);
    sql += "INSERT INTO CUPOM VALUES (" + n + ", " + n + ", '" + InvoiceKey(number) +
           "', '2022-05-10', '14:30:00', 0, 0, 0);\n";
  }
  return sql;
}

// The invoice files at their direct paths.
void WriteInvoiceFiles(const fs::path& drive_c) {
  const fs::path month = drive_c / "Tavrellis" / "PDV" / "NFCe" / "Transmitidas" / "202205";
  fs::create_directories(month);
  for (const int number : kInvoices) {
    WriteBytes(month / (InvoiceKey(number) + "-nfe.xml"),
               WrappedInvoice(kEmitter, std::to_string(number), "NFe" + InvoiceKey(number)));
  }
}

// The web API on the debug port: the login hands out a token, the invoice
// kRefused is refused with an html page while `refusing`, everything else is
// accepted. Every answer is noted with its status.
class FakeApi {
 public:
  struct Answered {
    std::string request;
    int status;
  };

  FakeApi() : server_(ListenOnDebugPort()) {
    server_->SetResponder([this](const std::string& request) { return Answer(request); });
  }

  // Runs in the server's thread once the refused invoice's request has arrived,
  // before the answer: the agent is waiting for it meanwhile.
  void BeforeRefusal(std::function<void()> action) {
    std::lock_guard lock(mutex_);
    before_refusal_ = std::move(action);
  }
  void SetRefusing(bool refusing) {
    std::lock_guard lock(mutex_);
    refusing_ = refusing;
  }

  std::vector<Answered> Answers() const {
    std::lock_guard lock(mutex_);
    return answers_;
  }
  // The statuses answered to the uploads of invoice `number`.
  std::vector<int> InvoiceStatuses(int number) const {
    return Statuses("POST /api/pdv/receive/ ", InvoiceKey(number));
  }
  std::vector<int> ClosingStatuses(int codigo) const {
    return Statuses("POST /api/movimento/import_fechamento/ ",
                    "{\"fechamento\": " + std::to_string(codigo) + "}");
  }

 private:
  ScriptedAnswer Answer(const std::string& request) {
    if (request.starts_with("POST /api/pdv/login/ ")) {
      return ScriptedAnswer(
          HttpAnswer("HTTP/1.1 200 OK", "Content-Type: application/json\r\n", "\"tok-42\""));
    }
    std::function<void()> action;
    bool refusing = false;
    {
      std::lock_guard lock(mutex_);
      refusing = refusing_;
      action = before_refusal_;
    }
    const bool refused = refusing && request.starts_with("POST /api/pdv/receive/ ") &&
                         request.find(InvoiceKey(kRefused)) != std::string::npos;
    if (!refused) return Accept(request);
    if (action) action();
    std::lock_guard lock(mutex_);
    answers_.push_back({request, 500});
    return ScriptedAnswer(HttpAnswer("HTTP/1.1 500 Internal Server Error",
                                     "Content-Type: text/html; charset=utf-8\r\n",
                                     "<html><body><h1>Nota recusada</h1></body></html>"));
  }

  ScriptedAnswer Accept(const std::string& request) {
    std::lock_guard lock(mutex_);
    answers_.push_back({request, 200});
    return ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK", {}, "{}"));
  }

  std::vector<int> Statuses(const std::string& head, const std::string& body_holds) const {
    std::vector<int> statuses;
    for (const auto& answered : Answers()) {
      if (answered.request.starts_with(head) &&
          answered.request.find(body_holds) != std::string::npos) {
        statuses.push_back(answered.status);
      }
    }
    return statuses;
  }

  mutable std::mutex mutex_;
  bool refusing_ = true;
  std::function<void()> before_refusal_;
  std::vector<Answered> answers_;
  std::unique_ptr<ScriptedHttpServer> server_;  // last: its threads go first
};

// WaitFor at a gentler pace: every look at the database starts a process.
template <typename Condition>
bool Eventually(Condition condition, std::chrono::milliseconds limit) {
  return WaitFor(
      [&] {
        if (condition()) return true;
        std::this_thread::sleep_for(250ms);
        return false;
      },
      limit);
}

bool Contains(const std::vector<int>& values, int value) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

bool Exported(TestDatabase& database, const std::string& table, const std::string& key, int value) {
  return database.Scalar("SELECT WEB_EX FROM " + table + " WHERE " + key + " = " +
                         std::to_string(value)) == "1";
}

// Every row is exported exactly when the server answered one of its uploads
// with 200: nothing is marked that was not accepted, nothing accepted is lost.
void ExpectExportedExactlyWhatWasAccepted(TestDatabase& database, const FakeApi& api) {
  for (const int codigo : kClosings) {
    EXPECT_EQ(Exported(database, "FECHAMENTOS", "CODIGO", codigo),
              Contains(api.ClosingStatuses(codigo), 200))
        << "closing " << codigo;
  }
  for (const int number : kInvoices) {
    EXPECT_EQ(Exported(database, "CUPOM", "NUMERO", number),
              Contains(api.InvoiceStatuses(number), 200))
        << "invoice " << number;
  }
}

// Waits until the first pass has answered every row once and the accepted rows
// are marked, then a little longer, for anything the pass would still do.
bool WaitForThePass(TestDatabase& database, const FakeApi& api) {
  const bool done = Eventually(
      [&] {
        for (const int codigo : kClosings) {
          if (!Exported(database, "FECHAMENTOS", "CODIGO", codigo)) return false;
        }
        for (const int number : kInvoices) {
          if (api.InvoiceStatuses(number).empty()) return false;
          if (number != kRefused && !Exported(database, "CUPOM", "NUMERO", number)) return false;
        }
        return true;
      },
      40s);
  std::this_thread::sleep_for(1500ms);
  return done;
}

// The agent is still at work, and SIGTERM ends it with exit code 0.
void ExpectRunningThenStop(AgentProcess& agent) {
  EXPECT_TRUE(agent.Running()) << agent.StandardError();
  agent.Signal(SIGTERM);
  EXPECT_EQ(agent.Wait(20s), 0);
}

// Starts the agent and checks its first pass: every row answered once, exactly
// the accepted ones marked, the refused invoice refused.
void RunTheFirstPass(Terminal& terminal, const FakeApi& api) {
  auto& agent = terminal.agent();
  agent.Start();
  EXPECT_TRUE(WaitForThePass(terminal.database(), api)) << agent.StandardError();
  ExpectExportedExactlyWhatWasAccepted(terminal.database(), api);
  EXPECT_EQ(api.InvoiceStatuses(kRefused), std::vector<int>{500});
}

// A terminal with the point-of-sale program, "DEBUG" on and the invoice files.
void PrepareTerminal(Terminal& terminal) {
  terminal.InstallPosProgram();
  terminal.WriteSettings(kDebugOn);
  WriteInvoiceFiles(terminal.drive_c());
}

// Once the fault is gone, a new start of the agent uploads the refused invoice.
void ExpectTheRestartUploadsTheRefusedInvoice(Terminal& terminal, FakeApi& api) {
  api.SetRefusing(false);
  auto& agent = terminal.agent();
  agent.Start();
  EXPECT_TRUE(
      Eventually([&] { return Exported(terminal.database(), "CUPOM", "NUMERO", kRefused); }, 40s))
      << agent.StandardError();
  std::this_thread::sleep_for(1s);
  ExpectExportedExactlyWhatWasAccepted(terminal.database(), api);
  ExpectRunningThenStop(agent);
}

bool HasMessageStartingWith(const std::vector<std::string>& messages, const std::string& start) {
  return std::any_of(messages.begin(), messages.end(),
                     [&](const std::string& message) { return message.starts_with(start); });
}

std::string CaseName(const std::string& what, Backend backend) {
  return what + " (" + BackendName(backend) + ")";
}

// Runs `command`; true when it succeeded.
bool Run(const std::string& command) {
  return RunCommand(command).exit_code == 0;
}

// ---------------------------------------------------------------------------
// A log that cannot be written.

struct UnwritableLog {
  const char* name;
  // Puts the fault in place at `log`; false when this machine cannot.
  bool (*make)(const fs::path& log);
  // Takes it away again.
  void (*undo)(const fs::path& log);
};

const UnwritableLog kUnwritableLogs[] = {
    {"a folder in its place",
     [](const fs::path& log) {
       fs::create_directory(log);
       return true;
     },
     [](const fs::path&) {}},
    {"an immutable file",
     [](const fs::path& log) {
       WriteBytes(log, kEarlierLine);
       return Run("chattr +i " + ShellQuote(log.string()) + " 2>/dev/null");
     },
     [](const fs::path& log) { Run("chattr -i " + ShellQuote(log.string()) + " 2>/dev/null"); }},
    {"a file on a read-only bind mount",
     [](const fs::path& log) {
       WriteBytes(log, kEarlierLine);
       const std::string at = ShellQuote(log.string());
       return Run("mount --bind " + at + " " + at + " 2>/dev/null") &&
              Run("mount -o remount,bind,ro " + at + " 2>/dev/null");
     },
     [](const fs::path& log) { Run("umount -l " + ShellQuote(log.string()) + " 2>/dev/null"); }},
};

// Takes the fault away at the end of the case, whatever happened.
class Undo {
 public:
  explicit Undo(std::function<void()> undo) : undo_(std::move(undo)) {}
  ~Undo() { undo_(); }
  Undo(const Undo&) = delete;
  Undo& operator=(const Undo&) = delete;

 private:
  std::function<void()> undo_;
};

class UnwritableLogTest
    : public ::testing::TestWithParam<std::tuple<Backend, const UnwritableLog*>> {};

TEST_P(UnwritableLogTest, UploadsGoOnAndTheLogIsLeftAlone) {
  const Backend backend = std::get<0>(GetParam());
  const UnwritableLog* fault = std::get<1>(GetParam());
  Terminal terminal(backend, PendingRows());
  PrepareTerminal(terminal);
  const fs::path log = terminal.executable_directory() / "log_sync.txt";
  if (!fault->make(log)) {
    fault->undo(log);
    GTEST_SKIP() << "this machine cannot make " << fault->name;
  }
  Undo undo([&] { fault->undo(log); });
  const bool was_folder = fs::is_directory(log);

  HostileCase record("disk faults", CaseName(std::string("log: ") + fault->name, backend));
  FakeApi api;
  RunTheFirstPass(terminal, api);
  ExpectRunningThenStop(terminal.agent());
  if (was_folder) {
    EXPECT_TRUE(fs::is_directory(log));
  } else {
    EXPECT_EQ(ReadBytes(log), kEarlierLine);
  }
  record.Finish(!HasFailure());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UnwritableLogTest,
    ::testing::Combine(::testing::Values(Backend::kOdbcSqlite, Backend::kFirebird),
                       ::testing::Values(&kUnwritableLogs[0], &kUnwritableLogs[1],
                                         &kUnwritableLogs[2])),
    [](const auto& info) {
      std::string name = BackendName(std::get<0>(info.param)) + "_";
      for (const char c : std::string(std::get<1>(info.param)->name)) {
        name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
      }
      return name;
    });

// ---------------------------------------------------------------------------
// The error folder.

const std::string kImportFailure = "Erro ao importar nota, será copiada para a pasta de erros.";

// The folder goes away while the server holds its answer to the refused
// invoice: the page cannot be written, the row stays pending and the pass goes
// on. The next pass of the same process makes the folder again and leaves the
// refused invoice alone; a new start uploads it.
TEST(ErrorFolderTest, RemovedInTheMiddleOfThePass) {
  HostileCase record("disk faults", "qb_errors removed in the middle of a pass (SQLite)");
  Terminal terminal(Backend::kOdbcSqlite, PendingRows());
  PrepareTerminal(terminal);
  const fs::path folder = terminal.executable_directory() / "qb_errors";
  FakeApi api;
  std::atomic<bool> existed_then = false;
  api.BeforeRefusal([&] {
    existed_then = fs::is_directory(folder);
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  });
  RunTheFirstPass(terminal, api);
  EXPECT_TRUE(existed_then) << "the invoice phase makes the folder first";
  EXPECT_FALSE(fs::exists(folder)) << "nothing but the invoice phase's start makes it";
  const auto messages = terminal.LogMessages();
  EXPECT_TRUE(
      HasMessageStartingWith(messages, "Erro ao enviar Post JSON:HTTP/1.1 500 Internal Server"));
  EXPECT_TRUE(HasMessageStartingWith(messages, kImportFailure));
  EXPECT_TRUE(HasMessageStartingWith(messages, "Nota numero 101 enviada."));

  // The next pass comes two minutes after this one.
  EXPECT_TRUE(WaitFor([&] { return fs::is_directory(folder); }, 150s));
  std::this_thread::sleep_for(1500ms);
  const auto later = terminal.LogMessages();
  EXPECT_EQ(std::count(later.begin(), later.end(), PassStartMessage()), 2);
  EXPECT_EQ(api.InvoiceStatuses(kRefused), std::vector<int>{500})
      << "a refused invoice waits for a new start";
  ExpectExportedExactlyWhatWasAccepted(terminal.database(), api);
  ExpectRunningThenStop(terminal.agent());

  ExpectTheRestartUploadsTheRefusedInvoice(terminal, api);
  record.Finish(!HasFailure());
}

// A plain file where the folder should be: neither the folder, the page nor the
// copies can be made, and the pass goes on all the same.
TEST(ErrorFolderTest, PlainFileInItsPlace) {
  HostileCase record("disk faults", "qb_errors a plain file (SQLite)");
  Terminal terminal(Backend::kOdbcSqlite, PendingRows());
  PrepareTerminal(terminal);
  const fs::path folder = terminal.executable_directory() / "qb_errors";
  WriteBytes(folder, "not a folder");
  FakeApi api;
  RunTheFirstPass(terminal, api);
  EXPECT_TRUE(HasMessageStartingWith(terminal.LogMessages(), kImportFailure));
  EXPECT_EQ(ReadBytes(folder), "not a folder");
  ExpectRunningThenStop(terminal.agent());

  fs::remove(folder);
  ExpectTheRestartUploadsTheRefusedInvoice(terminal, api);
  EXPECT_TRUE(fs::is_directory(folder));
  record.Finish(!HasFailure());
}

// ---------------------------------------------------------------------------
// A full disk.

// A small tmpfs over a folder, for the life of the object.
class SmallTmpfs {
 public:
  SmallTmpfs(const fs::path& at, std::uintmax_t bytes) : at_(at) {
    mounted_ = Run("mount -t tmpfs -o size=" + std::to_string(bytes) + " quorbin-full " +
                   ShellQuote(at.string()) + " 2>/dev/null");
  }
  ~SmallTmpfs() {
    if (mounted_) Run("umount -l " + ShellQuote(at_.string()));
  }
  SmallTmpfs(const SmallTmpfs&) = delete;
  SmallTmpfs& operator=(const SmallTmpfs&) = delete;

  bool mounted() const { return mounted_; }

 private:
  fs::path at_;
  bool mounted_ = false;
};

// Writes `file` until the file system has no room left.
void FillUp(const fs::path& file) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  const std::string block(4096, 'f');
  while (::write(fd, block.data(), block.size()) > 0) {
  }
  ::close(fd);
  struct statvfs room {};
  ASSERT_EQ(::statvfs(file.parent_path().c_str(), &room), 0);
  ASSERT_EQ(room.f_bavail, 0u) << "the file system still has room";
}

class FullDiskTest : public ::testing::TestWithParam<Backend> {};

// The executable directory (log, error folder) on a full tmpfs; the log held
// a line before. Pages and copies cannot be written, the log takes what still
// fits; uploads go on, and after the disk has room again a new start uploads
// the refused invoice.
TEST_P(FullDiskTest, UploadsGoOnAndTheLogKeepsWhatItHad) {
  Terminal terminal(GetParam(), PendingRows());
  terminal.InstallPosProgram();
  WriteInvoiceFiles(terminal.drive_c());
  const fs::path dir = terminal.executable_directory();
  // Room for the agent's copy and a little more.
  SmallTmpfs tmpfs(dir, fs::file_size(QUORBIN_AGENT_BINARY) + (256 << 10));
  if (!tmpfs.mounted()) GTEST_SKIP() << "this machine cannot mount a tmpfs (not root?)";
  HostileCase record("disk faults", CaseName("full disk", GetParam()));
  terminal.WriteSettings(kDebugOn);
  terminal.agent();  // its copy of the binary goes in before the disk fills
  WriteBytes(dir / "log_sync.txt", kEarlierLine);
  FillUp(dir / "filler");

  FakeApi api;
  RunTheFirstPass(terminal, api);
  ExpectRunningThenStop(terminal.agent());
  EXPECT_TRUE(ReadBytes(dir / "log_sync.txt").starts_with(kEarlierLine));

  fs::remove(dir / "filler");
  ExpectTheRestartUploadsTheRefusedInvoice(terminal, api);
  const std::string log = ReadBytes(dir / "log_sync.txt");
  EXPECT_TRUE(log.starts_with(kEarlierLine));
  EXPECT_NE(log.find("Nota numero 102 enviada."), std::string::npos) << log;
  record.Finish(!HasFailure());
}

INSTANTIATE_TEST_SUITE_P(Backends, FullDiskTest,
                         ::testing::Values(Backend::kOdbcSqlite, Backend::kFirebird),
                         [](const auto& info) { return BackendName(info.param); });

}  // namespace
}  // namespace quorbin::testing
