// Loading the database clients: the driver manager of the system loads with every
// function the ODBC client resolves; a library that is not there fails with the
// system's reason for each name tried.
#include "platform/shared_library.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace quorbin::platform
