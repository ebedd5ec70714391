// Folders and files whose names are not ASCII: the agent's UTF-8 text reaches the
// file system and comes back unchanged (on Windows a path made from a plain
// std::string would take the bytes in the ANSI code page instead).
#include "platform/folder_listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <random>

#include "platform/listing_order.h"
#include "platform/stamp_time.h"
#include "support/paths.h"
#include "sync/xml_file_list.h"
#include "testing/temp_dir.h"

#ifdef _WIN32
#include <windows.h>

#include <cstring>
#include <iostream>
#include <utility>
#else
#include <fcntl.h>
#include <sys/stat.h>
#endif

namespace quorbin::platform {
namespace {

TEST(FolderListingTest, NamesOutsideAsciiTravelAsUtf8) {
  testing::TempDir dir;
  const std::string name = "nota \xC3\xA9\xE4\xB8\xAD.xml";  // é and an ideogram
  const std::string folder =
      Utf8FromPath(dir.path() / PathFromUtf8("Notas \xC3\xA7\xC3\xA3o \xE2\x82\xAC"));
  const std::string file = Utf8FromPath(PathFromUtf8(folder) / PathFromUtf8(name));
  std::filesystem::create_directories(PathFromUtf8(folder));
  testing::WriteBytes(PathFromUtf8(file), "<NFe/>");
#ifdef _WIN32
  // Hidden and system files are listed like any other.
  SetFileAttributesW(PathFromUtf8(file).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
#endif

  const OpenFolder open(PathFromUtf8(folder));
  ASSERT_TRUE(open.is_open());
  ASSERT_EQ(open.entries().size(), 1u);
  EXPECT_EQ(open.entries()[0].name, name);
  EXPECT_EQ(open.entries()[0].type, EntryType::kFile);
  const auto stamp = open.StampOfFile(name);
  ASSERT_TRUE(stamp);
  EXPECT_EQ(stamp->size, 6);
  EXPECT_EQ(StampOfFile(PathFromUtf8(file)), stamp);
  FileContents contents;
  std::string error;
  ASSERT_TRUE(open.ReadFile(name, contents, &error, 1 << 20)) << error;
  EXPECT_EQ(contents.bytes, "<NFe/>");
  EXPECT_EQ(contents.stamp, *stamp);

  const auto files = ListXmlFiles(PathFromUtf8(folder));
  EXPECT_EQ(files, std::vector<std::string>{file});
}

TEST(FolderListingTest, WhatIsNotThereIsNeitherListedNorRead) {
  testing::TempDir dir;
  EXPECT_FALSE(OpenFolder(dir / "absent").is_open());
  std::filesystem::create_directories(dir / "sub");
  const OpenFolder open(dir.path());
  ASSERT_TRUE(open.is_open());
  EXPECT_FALSE(open.StampOfFile("sub")) << "a folder is not a file";
  EXPECT_FALSE(open.StampOfFile("absent.xml"));
  FileContents contents;
  std::string error;
  EXPECT_FALSE(open.ReadFile("absent.xml", contents, &error, 1 << 20));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(open.ReadFile("sub", contents, &error, 1 << 20));
}

TEST(FolderListingTest, SortingAFolderKeepsTheListingOrder) {
  std::vector<FolderEntry> entries;
  for (const char* name :
       {"b.xml", "A.XML", "a.xml", "a", "A", "_x", "[x", "Z1", "z0", "\xC3\xA9.xml", "\xC3\x89.xml",
        "35230112345678000190650010000000011-nfe.xml",
        "35230112345678000190650010000000011-NFE.xml", "3523", ""}) {
    entries.push_back({name, EntryType::kFile});
  }
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    std::shuffle(entries.begin(), entries.end(), random);
    std::vector<FolderEntry> expected = entries;
    std::stable_sort(expected.begin(), expected.end(), ListedBefore);
    SortAsListed(entries);
    for (std::size_t i = 0; i < entries.size(); ++i) EXPECT_EQ(entries[i].name, expected[i].name);
  }
}

// 2400-01-01, beyond the years that nanoseconds since 1970 hold in 64 bits.
constexpr std::int64_t k2400Seconds = 13'569'465'600;
constexpr std::int64_t kLatest = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kEarliest = std::numeric_limits<std::int64_t>::min();

TEST(StampTimeTest, TimesBeyondTheRangeAreHeldAtItsEnds) {
  struct Case {
    std::int64_t seconds, nanoseconds, expected;
  };
  const Case cases[] = {
      {0, 0, 0},
      {1, 5, 1'000'000'005},
      {-1, 999'999'999, -1},
      {9'223'372'036, 854'775'807, kLatest},  // the last nanosecond held exactly
      {9'223'372'036, 854'775'808, kLatest},
      {k2400Seconds, 0, kLatest},
      {std::numeric_limits<std::int64_t>::max(), 999'999'999, kLatest},
      {-9'223'372'036, 0, -9'223'372'036'000'000'000},
      {-9'223'372'037, 0, kEarliest},
      {std::numeric_limits<std::int64_t>::min(), 0, kEarliest},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StampNanoseconds(c.seconds, c.nanoseconds), c.expected)
        << c.seconds << " s " << c.nanoseconds << " ns";
  }
  constexpr std::uint64_t k1970Ticks = 116'444'736'000'000'000;
  EXPECT_EQ(StampNanosecondsOfTicks(k1970Ticks), 0);
  EXPECT_EQ(StampNanosecondsOfTicks(k1970Ticks + 12'345'678), 1'234'567'800);
  EXPECT_EQ(StampNanosecondsOfTicks(k1970Ticks - 1), -100);
  EXPECT_EQ(StampNanosecondsOfTicks(0), kEarliest);  // 1601
  EXPECT_EQ(StampNanosecondsOfTicks(k1970Ticks + k2400Seconds * 10'000'000), kLatest);
  EXPECT_EQ(StampNanosecondsOfTicks(std::numeric_limits<std::uint64_t>::max()), kLatest);
}

// Sets the file's modification time (and its last access) to 2400-01-01.
void DateIn2400(const std::filesystem::path& file) {
#ifdef _WIN32
  const std::uint64_t ticks = 116'444'736'000'000'000 + k2400Seconds * 10'000'000;
  const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  const HANDLE handle = CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(SetFileTime(handle, nullptr, &time, &time));
  CloseHandle(handle);
#else
  const timespec times[2] = {{k2400Seconds, 0}, {k2400Seconds, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
#endif
}

TEST(FolderListingTest, AFileDatedFarInTheFutureIsListedAndRead) {
  testing::TempDir dir;
  testing::WriteBytes(dir / "far.xml", "<NFe/>");
  DateIn2400(dir / "far.xml");

  const OpenFolder open(dir.path());
  ASSERT_TRUE(open.is_open());
  const auto stamp = open.StampOfFile("far.xml");
  ASSERT_TRUE(stamp);
  EXPECT_EQ(stamp->modified_ns, kLatest);
  EXPECT_EQ(StampOfFile(dir / "far.xml"), stamp);
  FileContents contents;
  std::string error;
  ASSERT_TRUE(open.ReadFile("far.xml", contents, &error, 1 << 20)) << error;
  EXPECT_EQ(contents.stamp, *stamp);
  EXPECT_EQ(ListXmlFiles(dir.path()), std::vector<std::string>{(dir / "far.xml").string()});
}

#ifdef _WIN32
// Where the system gives the 128-bit file id (FILE_ID_INFO), that id and its
// volume serial are the file's key, else the volume serial and the 64-bit file
// index. Hard links share the key; other files do not.
TEST(FolderListingTest, AFileIsKeyedByTheWidestIdTheSystemGives) {
  testing::TempDir dir;
  testing::WriteBytes(dir / "a.xml", "<a/>");
  testing::WriteBytes(dir / "b.xml", "<b/>");
  ASSERT_TRUE(CreateHardLinkW((dir / "c.xml").c_str(), (dir / "a.xml").c_str(), nullptr));
  const OpenFolder open(dir.path());
  const auto a = open.StampOfFile("a.xml");
  const auto b = open.StampOfFile("b.xml");
  const auto c = open.StampOfFile("c.xml");
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(std::pair(a->device, a->inode), std::pair(c->device, c->inode));
  EXPECT_NE(a->inode, b->inode);

  const HANDLE file = CreateFileW((dir / "a.xml").c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  struct {
    ULONGLONG volume_serial;
    BYTE id[16];
  } wide{};
  BY_HANDLE_FILE_INFORMATION narrow{};
  const bool has_wide = GetFileInformationByHandleEx(
      file, static_cast<FILE_INFO_BY_HANDLE_CLASS>(18 /* FileIdInfo */), &wide, sizeof wide);
  ASSERT_TRUE(GetFileInformationByHandle(file, &narrow));
  CloseHandle(file);
  if (has_wide) {
    std::uint64_t low = 0;
    std::uint64_t high = 0;
    std::memcpy(&low, wide.id, 8);
    std::memcpy(&high, wide.id + 8, 8);
    EXPECT_EQ(a->device, wide.volume_serial);
    EXPECT_EQ(a->inode, FileStamp::Id(low, high));
  } else {
    std::cout << "no FILE_ID_INFO here: keyed by the 64-bit file index\n";
    EXPECT_EQ(a->device, narrow.dwVolumeSerialNumber);
    EXPECT_EQ(a->inode,
              FileStamp::Id((std::uint64_t{narrow.nFileIndexHigh} << 32) | narrow.nFileIndexLow));
  }
}
#endif

}  // namespace
}  // namespace quorbin::platform
