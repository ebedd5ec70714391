// The activity log when the file system fails a call, in-process on every
// system: the line is lost, the watchdog is still fed, and the next line finds
// a log it can go on with. (The agent on a real full or read-only disk is
// tests/reliability/disk_faults_test.)
#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <string>

#include "support/activity_log.h"
#include "testing/fault_injection_file_io.h"
#include "testing/manual_clock.h"
#include "testing/temp_dir.h"

namespace quorbin::testing {
namespace {

using Call = FaultInjectionFileIo::Call;

constexpr const char* kEarlier = "[01/03/2026 08:00:00] : earlier\r\n";
constexpr const char* kFirst = "[04/03/2026 07:08:09] : first\r\n";
constexpr const char* kSecond = "[04/03/2026 07:08:10] : second\r\n";

struct LogFault {
  const char* name;
  const char* existing;  // nullptr: no log yet
  std::function<void(FaultInjectionFileIo&)> plan;
  std::string after_both;  // the file after "first" (the faulty call) and "second"
};

TEST(ActivityLogFaultsTest, FailedWriteLosesTheLineAndTheNextOneFollows) {
  const LogFault faults[] = {
      {"new log that cannot be created", nullptr,
       [](auto& io) { io.Fail(Call::kAppend, 1, Errno(EACCES)); }, kSecond},
      {"log that refuses writing", kEarlier,
       [](auto& io) { io.Fail(Call::kAppend, 1, Errno(EACCES)); }, std::string(kEarlier) + kSecond},
      {"write that fails whole", kEarlier, [](auto& io) { io.Fail(Call::kWrite, 1, Errno(EIO)); },
       std::string(kEarlier) + kSecond},
      // The part that reached the disk becomes a line of its own, so the next
      // line starts on a line of its own too.
      {"disk full in the middle of the line", kEarlier,
       [](auto& io) { io.ShortWrite(1, 10, Errno(ENOSPC)); },
       std::string(kEarlier) + "[04/03/202\r\n" + kSecond},
      // The bytes went out before the close failed: the next line checks the
      // file again and neither loses nor repeats the first.
      {"close that fails after the write", kEarlier,
       [](auto& io) { io.Fail(Call::kClose, 2, Errno(EIO)); },
       std::string(kEarlier) + kFirst + kSecond},
      // A log with other line breaks is rewritten once: a rewrite that cannot
      // start leaves it as it was, and the next line normalises it.
      {"rewrite that cannot start", "old\n",
       [](auto& io) { io.Fail(Call::kCreate, 1, Errno(ENOSPC)); },
       std::string("old\r\n") + kSecond},
  };
  for (const LogFault& fault : faults) {
    SCOPED_TRACE(fault.name);
    TempDir dir;
    const auto file = dir / "log_sync.txt";
    if (fault.existing) WriteBytes(file, fault.existing);
    ManualClock clock{DateTime::FromCivil({2026, 3, 4, 7, 8, 9, 0})};
    FaultInjectionFileIo io;
    fault.plan(io);
    ActivityLog log(file, clock, io);

    log.WriteLog("first");
    EXPECT_EQ(log.LastLogTime(), clock.Now()) << "the watchdog is fed all the same";
    clock.Advance(1000);
    log.WriteLog("second");
    EXPECT_EQ(ReadBytes(file), fault.after_both);
  }
}

}  // namespace
}  // namespace quorbin::testing
