// Which installed ODBC driver is chosen and the connection string built for it.
#include "store/odbc_connection_string.h"

#include <gtest/gtest.h>

namespace quorbin {
namespace {

TEST(OdbcDriverChoiceTest, FirstCandidateInstalledWinsInTheReportedSpelling) {
  const struct {
    std::vector<std::string> installed;
    std::optional<std::string> chosen;
  } cases[] = {
      {{"SQLite3", "SQL Server", "ODBC Driver 17 for SQL Server"}, "ODBC Driver 17 for SQL Server"},
      {{"odbc driver 13 for sql server", "SQL Server Native Client 11.0"},
       "SQL Server Native Client 11.0"},
      {{"Sql Server"}, "Sql Server"},
      {{"ODBC Driver 18 for SQL Server", "SQL Server Native Client 11", "FreeTDS"}, std::nullopt},
      {{}, std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChooseOdbcDriver(c.installed), c.chosen) << ::testing::PrintToString(c.installed);
  }
}

TEST(OdbcConnectionStringTest, ProfilesGiveTheFixedStrings) {
  const auto& profiles = PosConnectionProfiles();
  const struct {
    int profile;
    std::optional<std::string> driver;
    std::string expected;
  } cases[] = {
      {0, "ODBC Driver 17 for SQL Server",
       "DRIVER=ODBC Driver 17 for SQL Server;UID=sa;Server=LOCALHOST\\QUORPDV;Database=VELPDV;"
       "Trusted_Connection=Yes"},
      {1, "SQL Server Native Client 11.0",
       "DRIVER=SQL Server Native Client 11.0;UID=sa;Server=LOCALHOST\\SQLEXPRESS;"
       "Database=VELPDV;Trusted_Connection=Yes;MARS_Connection=yes"},
      {0, "sql native client",
       "DRIVER=sql native client;UID=sa;Server=LOCALHOST\\QUORPDV;Database=VELPDV;"
       "Trusted_Connection=Yes;MARS_Connection=yes"},
      {0, "SQL Server",
       "DRIVER=SQL Server;UID=sa;Server=LOCALHOST\\QUORPDV;Database=VELPDV;"
       "Trusted_Connection=Yes"},
      {0, std::nullopt, "UID=sa;Server=LOCALHOST\\QUORPDV;Database=VELPDV;Trusted_Connection=Yes"},
      {0, "Driver (x64)",
       "DRIVER={Driver (x64)};UID=sa;Server=LOCALHOST\\QUORPDV;Database=VELPDV;"
       "Trusted_Connection=Yes"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BuildOdbcConnectionString(profiles[c.profile], c.driver), c.expected);
  }
}

TEST(OdbcConnectionStringTest, ValuesWithSpecialCharactersAreBraced) {
  const struct {
    std::string database;
    std::string item;
  } cases[] = {
      {"a;b", "Database={a;b}"},
      {"{a;b}", "Database={a;b}"},
      {"\"a;b\"", "Database=\"a;b\""},
      {"x}y=", "Database={x}}y=}"},
      {"plain name", "Database=plain name"},
  };
  for (const auto& c : cases) {
    ConnectionProfile profile{{"DriverID", "MSSQL"}, {"Database", c.database}};
    EXPECT_EQ(BuildOdbcConnectionString(profile, std::nullopt), c.item);
  }
}

TEST(OdbcConnectionStringTest, EmptyParametersGiveNoItemAndMarsIsNotRepeated) {
  ConnectionProfile profile{
      {"DriverID", "MSSQL"}, {"Server", ""}, {"Database", "d;mars_connection=no"}};
  EXPECT_EQ(BuildOdbcConnectionString(profile, "SQL Server Native Client 10.0"),
            "DRIVER=SQL Server Native Client 10.0;Database={d;mars_connection=no}");
}

}  // namespace
}  // namespace quorbin
