#include "sync/invoice_error_files.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "testing/fault_injection_file_io.h"
#include "testing/temp_dir.h"

namespace quorbin::testing {
namespace {

namespace fs = std::filesystem;

TEST(InvoiceErrorFilesTest, NamesAreTheLastPartOfTheirText) {
  struct Case {
    const char* path;
    const char* name;
  };
  const Case cases[] = {
      {"C:\\Tavrellis\\PDV\\NFCe\\Transmitidas\\202205\\k-nfe.xml", "k-nfe.xml"},
      {"/var/lib/quorbin/drive_c/Tavrellis/k-nfe.xml", "k-nfe.xml"},
      {"C:k.xml", "k.xml"},
      {"../../etc/passwd", "passwd"},
      {"a/b\\c:d", "d"},
      {"k.xml", "k.xml"},
      {"pasta/", ""},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(ErrorCopyName(c.path), c.name) << c.path;

  EXPECT_EQ(InvoiceErrorPageName("123", DateTime::FromCivil({2022, 12, 31, 23, 59, 59})),
            "cs_Sync_123_2022.html");
  EXPECT_EQ(InvoiceErrorPageName("", DateTime::FromCivil({2022, 1, 1})), "cs_Sync__2022.html");
}

TEST(InvoiceErrorFilesTest, CopyStaysInTheFolderAndReplacesWhatIsThere) {
  TempDir dir;
  const fs::path folder = dir / "qb_errors";
  fs::create_directories(folder);
  fs::create_directories(dir / "src");
  WriteBytes(dir / "src" / "nota.xml", "new");
  WriteBytes(folder / "nota.xml", "old");

  CopyIntoErrorFolder((dir / "src" / "nota.xml").string(), folder);
  EXPECT_EQ(ReadBytes(folder / "nota.xml"), "new");

  // A link of that name in the folder is replaced, not written through (where the
  // file system has links: Wine's has none).
  WriteBytes(dir / "outside.txt", "keep");
  fs::remove(folder / "nota.xml");
  std::error_code no_links;
  fs::create_symlink(dir / "outside.txt", folder / "nota.xml", no_links);
  CopyIntoErrorFolder((dir / "src" / "nota.xml").string(), folder);
  EXPECT_EQ(ReadBytes(dir / "outside.txt"), "keep");
  EXPECT_FALSE(fs::is_symlink(folder / "nota.xml"));
  EXPECT_EQ(ReadBytes(folder / "nota.xml"), "new");

  // The copy itself, folders, missing files and names that are no names: nothing.
  CopyIntoErrorFolder((folder / "nota.xml").string(), folder);
  EXPECT_EQ(ReadBytes(folder / "nota.xml"), "new");
  for (const std::string& path :
       {(dir / "src").string(), (dir / "src" / "..").string(), (dir / "src" / ".").string(),
        (dir / "missing.xml").string(), std::string()}) {
    CopyIntoErrorFolder(path, folder);
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);

  // A missing folder is not created.
  CopyIntoErrorFolder((dir / "src" / "nota.xml").string(), dir / "gone");
  EXPECT_FALSE(fs::exists(dir / "gone"));
}

// A copy the file system refuses (a full disk) is not reported, and the next
// one is made as usual.
TEST(InvoiceErrorFilesTest, FailedCopyIsNotReported) {
  TempDir dir;
  const fs::path folder = dir / "qb_errors";
  fs::create_directories(folder);
  WriteBytes(dir / "a.xml", "a");
  WriteBytes(dir / "b.xml", "b");
  FaultInjectionFileIo io;
  io.Fail(FaultInjectionFileIo::Call::kCopy, 1, Errno(ENOSPC));

  CopyIntoErrorFolder((dir / "a.xml").string(), folder, io);
  EXPECT_EQ(io.Calls(FaultInjectionFileIo::Call::kCopy), 1);
  EXPECT_FALSE(fs::exists(folder / "a.xml"));
  CopyIntoErrorFolder((dir / "b.xml").string(), folder, io);
  EXPECT_EQ(ReadBytes(folder / "b.xml"), "b");
}

}  // namespace
}  // namespace quorbin::testing
