// What the agent reads from a library file before loading it: the format, the
// width and the processor from the headers, and whether the file holds every
// byte they announce; and the reason, in words, why this agent would not load it.
#include "store/library_header.h"

#include <gtest/gtest.h>

#include "platform/executable.h"
#include "platform/shared_library.h"
#include "testing/library_bytes.h"
#include "testing/temp_dir.h"

namespace quorbin {
namespace {

using testing::ElfLibrary;
using testing::PeLibrary;

LibraryHeader Read(const std::string& bytes) {
  return ReadLibraryHeader(bytes, bytes.size());
}

TEST(LibraryHeaderTest, APeLibrarySaysItsWidthAndProcessor) {
  const LibraryHeader wide = Read(PeLibrary(64, 0x8664));
  EXPECT_EQ(wide.format, LibraryFormat::kPe);
  EXPECT_EQ(wide.bits, 64);
  EXPECT_EQ(wide.machine, "x86-64");
  EXPECT_EQ(wide.damage, "");
  const LibraryHeader narrow = Read(PeLibrary(32, 0x14c));
  EXPECT_EQ(narrow.bits, 32);
  EXPECT_EQ(narrow.machine, "x86");
  EXPECT_EQ(narrow.damage, "");
}

TEST(LibraryHeaderTest, ALibraryOfTheOtherWidthIsSaidSoInWords) {
  EXPECT_EQ(LibraryMismatch(Read(PeLibrary(64, 0x8664)), 32, LibraryFormat::kPe),
            "is a 64-bit library; this agent is 32-bit");
  EXPECT_EQ(LibraryMismatch(Read(PeLibrary(32, 0x14c)), 64, LibraryFormat::kPe),
            "is a 32-bit library; this agent is 64-bit");
  EXPECT_EQ(LibraryMismatch(Read(PeLibrary(64, 0x8664)), 64, LibraryFormat::kPe), "");
  EXPECT_EQ(LibraryMismatch(Read(PeLibrary(32, 0x14c)), 32, LibraryFormat::kPe), "");
  EXPECT_EQ(LibraryMismatch(Read(ElfLibrary(32, 3)), 64, LibraryFormat::kElf),
            "is a 32-bit library; this agent is 64-bit");
}

TEST(LibraryHeaderTest, ALibraryForAnotherProcessorIsSaidSo) {
  EXPECT_EQ(LibraryMismatch(Read(PeLibrary(64, 0xAA64)), 64, LibraryFormat::kPe),
            "is a library for ARM64 processors; this agent is x86-64");
  EXPECT_EQ(LibraryMismatch(Read(PeLibrary(64, 0x5064)), 64, LibraryFormat::kPe),
            "is a library for machine 0x5064 processors; this agent is x86-64");
}

TEST(LibraryHeaderTest, ATruncatedLibrarySaysHowMuchIsMissing) {
  const std::string whole = PeLibrary(64, 0x8664);
  const LibraryHeader cut = ReadLibraryHeader(whole.substr(0, 768), 768);
  EXPECT_EQ(cut.bits, 64) << "the headers are still there";
  EXPECT_EQ(cut.damage, "is truncated: it has 768 bytes of the 1024 its headers announce");
  EXPECT_EQ(LibraryMismatch(cut, 64, LibraryFormat::kPe),
            "is truncated: it has 768 bytes of the 1024 its headers announce");
  // The width is the first reason to give for a file of the other width.
  EXPECT_EQ(LibraryMismatch(cut, 32, LibraryFormat::kPe),
            "is a 64-bit library; this agent is 32-bit");
  EXPECT_EQ(LibraryMismatch(ReadLibraryHeader(whole.substr(0, 32), 32), 64, LibraryFormat::kPe),
            "is truncated: it has 32 bytes of the 64 its headers announce");
  EXPECT_EQ(LibraryMismatch(ReadLibraryHeader(whole.substr(0, 0x90), 0x90), 64, LibraryFormat::kPe),
            "is truncated: it has 144 bytes of the 154 its headers announce");
  const std::string elf = ElfLibrary(64, 62);
  EXPECT_EQ(LibraryMismatch(ReadLibraryHeader(elf.substr(0, 900), 900), 64, LibraryFormat::kElf),
            "is truncated: it has 900 bytes of the 1024 its headers announce");
  // A table placed past the end of any file, its end beyond 64 bits.
  std::string far_table = elf;
  far_table.replace(0x28, 8, 8, '\xFF');  // e_shoff
  EXPECT_EQ(ReadLibraryHeader(far_table, far_table.size()).damage,
            "is truncated: it has 1024 bytes of the 18446744073709551615 its headers announce");
}

TEST(LibraryHeaderTest, AFileThatIsNoLibraryIsSaidSo) {
  EXPECT_EQ(LibraryMismatch(Read("Copied by hand: see the manual.\r\n"), 64, LibraryFormat::kPe),
            "is not a Windows library (it starts with neither a PE nor an ELF header)");
  EXPECT_EQ(LibraryMismatch(Read(""), 64, LibraryFormat::kPe),
            "is not a Windows library (it is empty)");
  std::string dos = PeLibrary(32, 0x14c);
  dos.replace(0x80, 2, "NE");
  EXPECT_EQ(LibraryMismatch(Read(dos), 32, LibraryFormat::kPe),
            "is not a Windows library (it is an MZ file without a PE header)");
  EXPECT_EQ(LibraryMismatch(Read(ElfLibrary(64, 62)), 64, LibraryFormat::kPe),
            "is a Linux library, not a Windows one");
  EXPECT_EQ(LibraryMismatch(Read(PeLibrary(64, 0x8664)), 64, LibraryFormat::kElf),
            "is a Windows library, not a Linux one");
  std::string odd = PeLibrary(64, 0x8664);
  odd[0x98] = 0x07;
  EXPECT_EQ(LibraryMismatch(Read(odd), 64, LibraryFormat::kPe),
            "has an optional header of unknown kind (magic 0x207)");
}

TEST(LibraryHeaderTest, AHeaderPastTheBytesReadIsNotGuessed) {
  std::string far = PeLibrary(64, 0x8664);
  far[0x3C] = 0;
  far[0x3D] = 0;
  far[0x3E] = 0x02;  // 0x20000: past the 64 KiB read, inside the file
  EXPECT_EQ(LibraryMismatch(ReadLibraryHeader(far, 0x40000), 64, LibraryFormat::kPe),
            "is not a Windows library (its PE header lies beyond its first 64 KiB)");
}

TEST(LibraryHeaderTest, TheFileOnDiskIsReadAndAMissingOneCannotBe) {
  testing::TempDir folder;
  testing::WriteBytes(folder / "fbclient.dll", PeLibrary(32, 0x14c));
  const LibraryHeader header = ReadLibraryHeaderOfFile(folder / "fbclient.dll");
  EXPECT_EQ(header.bits, 32);
  EXPECT_EQ(header.damage, "");
  const LibraryHeader missing = ReadLibraryHeaderOfFile(folder / "absent.dll");
  EXPECT_FALSE(missing.readable);
  EXPECT_EQ(LibraryMismatch(missing, 64), "cannot be read");
}

// The agent's own test program is a whole file of this system's format and width.
TEST(LibraryHeaderTest, ThisProgramIsOfThisSystemsFormatAndWidth) {
  const LibraryHeader own = ReadLibraryHeaderOfFile(platform::ExecutablePath());
  EXPECT_EQ(own.format, kSystemLibraryFormat);
  EXPECT_EQ(own.bits, platform::kProcessBits);
  EXPECT_EQ(own.damage, "");
  EXPECT_EQ(LibraryMismatch(own, platform::kProcessBits), "");
}

}  // namespace
}  // namespace quorbin
