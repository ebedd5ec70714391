#include "support/self_update.h"

#include <gtest/gtest.h>

#include "testing/temp_dir.h"

namespace quorbin {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

class SelfUpdateTest : public ::testing::Test {
 protected:
  bool Exists(const std::filesystem::path& file) { return std::filesystem::exists(file); }

  TempDir dir;
  std::filesystem::path running = dir / "quorbin_sync";
  std::filesystem::path pending = dir / "quorbin_sync.exe_new";
  std::filesystem::path previous = dir / "quorbin_sync.exe_old";
};

TEST_F(SelfUpdateTest, NoPendingVersionChangesNothing) {
  WriteBytes(running, "v1");
  EXPECT_FALSE(ApplyPendingUpdate(running));
  EXPECT_EQ(ReadBytes(running), "v1");
  EXPECT_FALSE(Exists(previous));
}

TEST_F(SelfUpdateTest, PendingVersionTakesTheExecutablesPlace) {
  WriteBytes(running, "v1");
  WriteBytes(pending, "v2");
  EXPECT_TRUE(ApplyPendingUpdate(running));
  EXPECT_EQ(ReadBytes(running), "v2");
  EXPECT_EQ(ReadBytes(previous), "v1");
  EXPECT_FALSE(Exists(pending));
}

TEST_F(SelfUpdateTest, StaleOldVersionNoLongerBlocksTheSwap) {
  WriteBytes(running, "v2");
  WriteBytes(pending, "v3");
  WriteBytes(previous, "v1");
  EXPECT_TRUE(ApplyPendingUpdate(running));
  EXPECT_EQ(ReadBytes(running), "v3");
  EXPECT_EQ(ReadBytes(previous), "v2");
  EXPECT_FALSE(ApplyPendingUpdate(running)) << "a second start must not end the agent again";
}

TEST_F(SelfUpdateTest, OldVersionThatCannotBeRemovedLeavesEverythingInPlace) {
  WriteBytes(running, "v2");
  WriteBytes(pending, "v3");
  std::filesystem::create_directory(previous);
  WriteBytes(previous / "blocker", "");
  EXPECT_FALSE(ApplyPendingUpdate(running));
  EXPECT_EQ(ReadBytes(running), "v2");
  EXPECT_EQ(ReadBytes(pending), "v3");
}

// Only a regular file is a new version: a folder (or anything else) under the
// pending name changes nothing, not even a stale previous version.
TEST_F(SelfUpdateTest, PendingNameThatIsNotARegularFileIsIgnored) {
  WriteBytes(running, "v2");
  WriteBytes(previous, "v1");
  std::filesystem::create_directory(pending);
  EXPECT_FALSE(ApplyPendingUpdate(running));
  EXPECT_EQ(ReadBytes(running), "v2");
  EXPECT_EQ(ReadBytes(previous), "v1");
  EXPECT_TRUE(std::filesystem::is_directory(pending));
}

// Started under one of the two fixed names, the agent must neither delete its
// own file nor swap it away.
TEST_F(SelfUpdateTest, RunningUnderAFixedNameSwapsNothing) {
  WriteBytes(previous, "v1");
  WriteBytes(pending, "v2");
  EXPECT_FALSE(ApplyPendingUpdate(previous));
  EXPECT_EQ(ReadBytes(previous), "v1");
  EXPECT_EQ(ReadBytes(pending), "v2");

  EXPECT_FALSE(ApplyPendingUpdate(pending));
  EXPECT_EQ(ReadBytes(previous), "v1");
  EXPECT_EQ(ReadBytes(pending), "v2");
}

TEST_F(SelfUpdateTest, FailedSecondRenameGivesTheExecutableItsNameBack) {
  WriteBytes(running, "v2");
  WriteBytes(pending, "v3");
  int calls = 0;
  const auto second_rename_fails = [&](const std::filesystem::path& from,
                                       const std::filesystem::path& to) {
    if (++calls == 2) return false;
    std::filesystem::rename(from, to);
    return true;
  };
  EXPECT_FALSE(ApplyPendingUpdate(running, second_rename_fails));
  EXPECT_EQ(ReadBytes(running), "v2");
  EXPECT_EQ(ReadBytes(pending), "v3");
  EXPECT_FALSE(Exists(previous));
}

}  // namespace
}  // namespace quorbin
