#include "support/activity_log.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <cstdlib>

#include "testing/manual_clock.h"
#include "testing/temp_dir.h"

namespace quorbin {
namespace {

using testing::ManualClock;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

class ActivityLogTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::filesystem::path file = dir / "log_sync.txt";
  ManualClock clock{DateTime::FromCivil({2026, 3, 4, 7, 8, 9, 600})};
};

TEST_F(ActivityLogTest, NewFileHoldsOneStampedLineInAnsi) {
  ActivityLog log(file, clock);
  log.WriteLog("Nota numero 12 enviada. Versão");
  EXPECT_EQ(ReadBytes(file), "[04/03/2026 07:08:09] : Nota numero 12 enviada. Vers\xE3o\r\n");
}

TEST_F(ActivityLogTest, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  ActivityLog log(file, clock);
  log.WriteLog("caixa \xE2\x82\xAC \xE4\xB8\xAD");  // euro sign exists in 1252, the ideogram not
  EXPECT_EQ(ReadBytes(file), "[04/03/2026 07:08:09] : caixa \x80 ?\r\n");
}

TEST_F(ActivityLogTest, MultiLineMessageStampsOnlyTheFirstLine) {
  ActivityLog log(file, clock);
  log.WriteLog("first\r\nsecond\nthird\rfourth");
  log.WriteLog("ends with a break\n");
  EXPECT_EQ(ReadBytes(file),
            "[04/03/2026 07:08:09] : first\r\nsecond\r\nthird\r\nfourth\r\n"
            "[04/03/2026 07:08:09] : ends with a break\r\n\r\n");
}

TEST_F(ActivityLogTest, ExistingEncodingIsKept) {
  struct Case {
    const char* name;
    std::string existing;
    std::string expected;
  };
  const std::string stamp = "[04/03/2026 07:08:09] : ";
  const Case cases[] = {
      {"utf8", "\xEF\xBB\xBFold \xC3\xA3\r\n",
       "\xEF\xBB\xBFold \xC3\xA3\r\n" + stamp + "\xC3\xA3\r\n"},
      {"utf16le", std::string("\xFF\xFEo\0\r\0\n\0", 8),
       std::string("\xFF\xFEo\0\r\0\n\0", 8) + std::string("[\0", 2)},
      {"utf16be", std::string("\xFE\xFF\0o\0\r\0\n", 8),
       std::string("\xFE\xFF\0o\0\r\0\n", 8) + std::string("\0[", 2)},
      {"ansi", "old \xE3\r\n", "old \xE3\r\n" + stamp + "\xE3\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(file, c.existing);
    ActivityLog log(file, clock);
    log.WriteLog("\xC3\xA3");  // "ã"
    const std::string written = ReadBytes(file);
    if (c.existing.starts_with("\xFF\xFE") || c.existing.starts_with("\xFE\xFF")) {
      ASSERT_GT(written.size(), c.expected.size());
      EXPECT_EQ(written.substr(0, c.expected.size()), c.expected);
      EXPECT_EQ(written.size(), c.existing.size() + 2 * (stamp.size() + 3));
    } else {
      EXPECT_EQ(written, c.expected);
    }
  }
}

TEST_F(ActivityLogTest, AbnormalExistingFileIsNormalisedOnceThenAppended) {
  WriteBytes(file, std::string("a\nb\rc\r\nlast without break\0garbage", 32));
  ActivityLog log(file, clock);
  log.WriteLog("one");
  log.WriteLog("two");
  EXPECT_EQ(ReadBytes(file),
            "a\r\nb\r\nc\r\nlast without break\r\n"
            "[04/03/2026 07:08:09] : one\r\n[04/03/2026 07:08:09] : two\r\n");
}

TEST_F(ActivityLogTest, FileReplacedByAnotherProgramIsCheckedAgain) {
  ActivityLog log(file, clock);
  log.WriteLog("one");
  WriteBytes(file, "\xEF\xBB\xBFrotated");
  log.WriteLog("\xC3\xA3");
  EXPECT_EQ(ReadBytes(file), "\xEF\xBB\xBFrotated\r\n[04/03/2026 07:08:09] : \xC3\xA3\r\n");
}

#ifdef _WIN32
// Another program holds the log open without sharing it.
TEST_F(ActivityLogTest, LockedFileStillFeedsTheWatchdog) {
  WriteBytes(file, "kept\r\n");
  const HANDLE holder = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  ActivityLog log(file, clock);
  clock.Advance(5000);
  log.WriteLog("lost");
  EXPECT_EQ(log.LastLogTime(), clock.Now());
  CloseHandle(holder);
  EXPECT_EQ(ReadBytes(file), "kept\r\n");
}
#else
// Runs as an unprivileged user (in a child process when the tests run as root),
// since root may write a read-only file.
TEST_F(ActivityLogTest, ReadOnlyFileStillFeedsTheWatchdog) {
  WriteBytes(file, "kept\r\n");
  chmod(file.c_str(), 0444);
  EXPECT_EXIT(
      {
        if (geteuid() == 0 && setuid(65534) != 0) std::_Exit(2);
        ActivityLog log(file, clock);
        clock.Advance(5000);
        log.WriteLog("lost");
        std::_Exit(log.LastLogTime() == clock.Now() && ReadBytes(file) == "kept\r\n" ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}
#endif

TEST_F(ActivityLogTest, MissingFolderIsSwallowed) {
  ActivityLog log(dir / "missing" / "log_sync.txt", clock);
  log.WriteLog("lost");
  EXPECT_EQ(log.LastLogTime(), clock.Now());
}

}  // namespace
}  // namespace quorbin
