// Folders and files whose names are not ASCII: the agent's UTF-8 text reaches the
// file system and comes back unchanged (on Windows a path made from a plain
// std::string would take the bytes in the ANSI code page instead).
#include "platform/folder_listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/listing_order.h"
#include "support/paths.h"
#include "sync/xml_file_list.h"
#include "testing/temp_dir.h"

#ifdef _WIN32
#include <windows.h>
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

}  // namespace
}  // namespace quorbin::platform
