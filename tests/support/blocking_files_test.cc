// The settings file and the activity log replaced by named pipes: opening a pipe
// waits for a peer that never comes, so the agent must not open either.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>

#include "support/activity_log.h"
#include "support/failure.h"
#include "support/line_file.h"
#include "support/settings.h"
#include "testing/manual_clock.h"
#include "testing/temp_dir.h"

namespace quorbin {
namespace {

using testing::ManualClock;
using testing::TempDir;

// Runs `call` on its own thread and tells whether it returned within a few
// seconds. When it did not, the pipe is opened from this side, again and again,
// so that every open of the call can finish before the test goes on.
bool ReturnsPromptly(const std::filesystem::path& pipe, const std::function<void()>& call) {
  auto done = std::async(std::launch::async, call);
  if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready) return true;
  signal(SIGPIPE, SIG_IGN);
  do {
    const int peer = open(pipe.c_str(), O_RDWR | O_NONBLOCK);
    if (peer >= 0) close(peer);
  } while (done.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready);
  return false;
}

class BlockingFilesTest : public ::testing::Test {
 protected:
  std::filesystem::path MakePipe(const char* name) {
    const auto pipe = dir / name;
    EXPECT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    return pipe;
  }

  TempDir dir;
};

TEST_F(BlockingFilesTest, SettingsFileAsAPipeGivesTheDefaults) {
  const auto pipe = MakePipe("sync.ini");
  bool debug = true;
  bool offline = false;
  EXPECT_TRUE(ReturnsPromptly(pipe, [&] {
    debug = ReadSettingBool(pipe, "MAIN", "DEBUG", false);
    offline = ReadSettingBool(pipe, "MAIN", "OFFLINE", true);
  }));
  EXPECT_FALSE(debug);
  EXPECT_TRUE(offline);
}

TEST_F(BlockingFilesTest, LineFileThatIsAPipeFailsBothWays) {
  const auto pipe = MakePipe("page.html");
  int failures = 0;
  const auto counting = [&](const std::function<void()>& call) {
    try {
      call();
    } catch (const Failure&) {
      ++failures;
    }
  };
  EXPECT_TRUE(ReturnsPromptly(pipe, [&] {
    counting([&] { ReadLineFile(pipe); });
    counting([&] { WriteLineFile(pipe, LineFile{.lines = {"<html>"}}); });
  }));
  EXPECT_EQ(failures, 2);
}

TEST_F(BlockingFilesTest, LogAsAPipeLosesTheLineButFeedsTheWatchdog) {
  const auto pipe = MakePipe("log_sync.txt");
  ManualClock clock;
  ActivityLog log(pipe, clock);
  EXPECT_TRUE(ReturnsPromptly(pipe, [&] {
    log.WriteLog("Iniciando processo de sincronia...");
    log.WriteLog("Nota numero 1 enviada.");
  }));
  EXPECT_EQ(log.LastLogTime().ms, clock.Now().ms);
  EXPECT_TRUE(std::filesystem::is_fifo(pipe));
}

}  // namespace
}  // namespace quorbin
