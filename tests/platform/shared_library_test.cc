// Loading the database clients: the driver manager of the system loads with every
// function the ODBC client resolves and names the file it came from; a library
// that is not there fails with the system's reason for each name tried, and a
// file that is not a library fails in the system's words with no placeholder
// left in them.
#include "platform/shared_library.h"

#include <gtest/gtest.h>

#include "testing/temp_dir.h"

namespace quorbin::platform {
namespace {

TEST(SharedLibraryTest, TheOdbcDriverManagerLoadsWithItsFunctions) {
  std::string error;
  const auto library = LoadSharedLibrary(OdbcDriverManagerNames(), error);
  ASSERT_NE(library, nullptr) << error;
  EXPECT_TRUE(error.empty());
  for (const char* name : {"SQLAllocHandle", "SQLDrivers", "SQLDriverConnect", "SQLExecDirect",
                           "SQLFetch", "SQLGetData", "SQLEndTran", "SQLGetDiagRec"}) {
    EXPECT_NE(library->Symbol(name), nullptr) << name;
  }
  EXPECT_EQ(library->Symbol("NoSuchFunctionAnywhere"), nullptr);
}

TEST(SharedLibraryTest, EveryNameIsTriedAndEachFailureIsNamed) {
  std::string error;
  const auto library =
      LoadSharedLibrary({"quorbin-absent-one.dll", "quorbin-absent-two.dll"}, error);
  EXPECT_EQ(library, nullptr);
  const auto first = error.find("quorbin-absent-one.dll");
  const auto second = error.find("quorbin-absent-two.dll");
  ASSERT_NE(first, std::string::npos) << error;
  ASSERT_NE(second, std::string::npos) << error;
  EXPECT_LT(first, second);
  EXPECT_NE(error.find("; "), std::string::npos) << error;
}

TEST(SharedLibraryTest, ALoadedLibraryNamesItsFullPath) {
  const LibraryLoad load = LoadLibraryNamed(OdbcDriverManagerNames().front());
  ASSERT_NE(load.library, nullptr) << load.failure;
  const std::filesystem::path path = load.library->Path();
  EXPECT_TRUE(path.is_absolute()) << path;
  EXPECT_TRUE(std::filesystem::exists(path)) << path;
}

TEST(SharedLibraryTest, AMissingNameIsNotFound) {
  const LibraryLoad load = LoadLibraryNamed("quorbin-absent-three.dll");
  EXPECT_EQ(load.library, nullptr);
  EXPECT_TRUE(load.not_found) << load.failure;
  EXPECT_FALSE(load.failure.empty());
  EXPECT_EQ(load.failure.find('%'), std::string::npos) << load.failure;
}

TEST(SharedLibraryTest, AFileThatIsNoLibraryFailsInWordsWithoutPlaceholders) {
  testing::TempDir folder;
  testing::WriteBytes(folder / "fbclient.dll", "not a library at all\n");
  const LibraryLoad load = LoadLibraryAt(folder / "fbclient.dll");
  EXPECT_EQ(load.library, nullptr);
  EXPECT_FALSE(load.not_found) << load.failure;
  EXPECT_FALSE(load.failure.empty());
  EXPECT_EQ(load.failure.find('%'), std::string::npos) << load.failure;
}

TEST(SharedLibraryTest, TheSearchPathFindsASystemLibraryOnWindows) {
#ifdef _WIN32
  const std::filesystem::path found = FindOnLibrarySearchPath("kernel32.dll");
  EXPECT_TRUE(found.is_absolute()) << found;
  EXPECT_TRUE(FindOnLibrarySearchPath("quorbin-absent-four.dll").empty());
#else
  EXPECT_TRUE(FindOnLibrarySearchPath("libc.so.6").empty()) << "not reproduced on Linux";
#endif
}

}  // namespace
}  // namespace quorbin::platform
