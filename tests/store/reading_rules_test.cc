// The reading rules of column values, run against the three real backends
// wherever the column type exists there.
#include <gtest/gtest.h>

#include <variant>

#include "store/query.h"
#include "support/failure.h"
#include "testing/test_databases.h"

namespace quorbin {
namespace {

using testing::Backend;

enum class Reader { kInteger, kText, kDateTime };

struct Fails {
  std::string message;
};

using Expected = std::variant<std::int32_t, std::string, DateTime, Fails>;

struct ReadingCase {
  const char* column;
  // nullptr: the type does not exist there
  const char* firebird_type;
  const char* sqlite_type;
  const char* postgres_type;
  const char* firebird_literal;
  const char* unicode_literal;  // on SQLite and PostgreSQL; nullptr: as on Firebird
  Reader reader;
  Expected expected;
};

DateTime At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
            int millisecond = 0) {
  return DateTime::FromCivil({year, month, day, hour, minute, second, millisecond});
}

// 3,000 characters outside the Basic Multilingual Plane: 6,000 UTF-16 units,
// more than one buffer of the ODBC client, one of whose ends falls inside a
// surrogate pair.
std::string Repeated(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}
const std::string kFaces = Repeated("\xF0\x9F\x98\x80", 3000);
const std::string kFacesLiteral = "'" + kFaces + "'";

const ReadingCase kCases[] = {
    {"fixed_trims", "CHAR(3)", nullptr, "CHAR(3)", "'1  '", nullptr, Reader::kText,
     std::string("1")},
    {"fixed_inner_blank", "CHAR(6)", nullptr, "CHAR(6)", "' a b'", nullptr, Reader::kText,
     std::string(" a b")},
    {"fixed_as_integer", "CHAR(5)", nullptr, "CHAR(5)", "'7'", nullptr, Reader::kInteger, 7},
    {"variable_kept", "VARCHAR(20)", "VARCHAR(20)", "VARCHAR(20)", "'12.345/0001-00 '", nullptr,
     Reader::kText, std::string("12.345/0001-00 ")},
    {"variable_as_integer", "VARCHAR(10)", "VARCHAR(10)", "VARCHAR(10)", "' -42'", nullptr,
     Reader::kInteger, -42},
    {"variable_hex_integer", "VARCHAR(10)", "VARCHAR(10)", "VARCHAR(10)", "'$1F'", nullptr,
     Reader::kInteger, 31},
    {"variable_bad_integer", "VARCHAR(10)", "VARCHAR(10)", "VARCHAR(10)", "'12a'", nullptr,
     Reader::kInteger, Fails{"'12a' is not a valid integer value"}},
    {"integer_value", "INTEGER", "INTEGER", "INTEGER", "-123", nullptr, Reader::kInteger, -123},
    {"integer_text", "INTEGER", "INTEGER", "INTEGER", "-123", nullptr, Reader::kText,
     std::string("-123")},
    {"smallint_text", "SMALLINT", "SMALLINT", "SMALLINT", "7", nullptr, Reader::kText,
     std::string("7")},
    {"bigint_value", "BIGINT", "BIGINT", "BIGINT", "2147483647", nullptr, Reader::kInteger,
     2147483647},
    {"numeric_tie_down", "NUMERIC(15,2)", "NUMERIC(15,2)", "NUMERIC(15,2)", "2.50", nullptr,
     Reader::kInteger, 2},
    {"numeric_tie_up", "NUMERIC(15,2)", "NUMERIC(15,2)", "NUMERIC(15,2)", "3.50", nullptr,
     Reader::kInteger, 4},
    {"numeric_tie_negative", "NUMERIC(15,2)", "NUMERIC(15,2)", "NUMERIC(15,2)", "-2.50", nullptr,
     Reader::kInteger, -2},
    {"numeric_above_half", "NUMERIC(15,2)", "NUMERIC(15,2)", "NUMERIC(15,2)", "2.51", nullptr,
     Reader::kInteger, 3},
    {"numeric_eighteen_digits", "NUMERIC(18,4)", nullptr, "NUMERIC(18,4)", "-12345678901234.5678",
     nullptr, Reader::kText, std::string("-12345678901234,5678")},
    {"numeric_below_one", "NUMERIC(15,2)", "NUMERIC(15,2)", "NUMERIC(15,2)", "-0.05", nullptr,
     Reader::kText, std::string("-0,05")},
    {"numeric_short", "NUMERIC(4,1)", nullptr, "NUMERIC(4,1)", "0.5", nullptr, Reader::kInteger, 0},
    {"double_tie_down", "DOUBLE PRECISION", "DOUBLE", "DOUBLE PRECISION", "2.5", nullptr,
     Reader::kInteger, 2},
    {"double_tie_up", "DOUBLE PRECISION", "DOUBLE", "DOUBLE PRECISION", "3.5", nullptr,
     Reader::kInteger, 4},
    {"date_value", "DATE", "DATE", "DATE", "'2024-03-05'", nullptr, Reader::kDateTime,
     At(2024, 3, 5)},
    {"time_value", "TIME", "TIME", "TIME", "'13:45:30'", nullptr, Reader::kDateTime,
     At(1899, 12, 30, 13, 45, 30)},
    {"timestamp_value", "TIMESTAMP", "TIMESTAMP", "TIMESTAMP", "'2024-03-05 13:45:30.250'", nullptr,
     Reader::kDateTime, At(2024, 3, 5, 13, 45, 30, 250)},
    // Times are taken to the nearest millisecond; the carry may reach the next day.
    {"timestamp_rounds_down", "TIMESTAMP", "TIMESTAMP", "TIMESTAMP", "'2024-03-05 13:45:30.2494'",
     nullptr, Reader::kDateTime, At(2024, 3, 5, 13, 45, 30, 249)},
    {"timestamp_rounds_up", "TIMESTAMP", "TIMESTAMP", "TIMESTAMP", "'2024-03-05 13:45:30.2495'",
     nullptr, Reader::kDateTime, At(2024, 3, 5, 13, 45, 30, 250)},
    {"timestamp_next_day", "TIMESTAMP", "TIMESTAMP", "TIMESTAMP", "'2024-03-05 23:59:59.9996'",
     nullptr, Reader::kDateTime, At(2024, 3, 6)},
    // timestamp(3) keeps milliseconds only, as SQL Server's datetime2(3) does.
    {"timestamp_milliseconds", "TIMESTAMP", "TIMESTAMP", "TIMESTAMP(3)",
     "'2024-03-05 23:59:59.999'", nullptr, Reader::kDateTime, At(2024, 3, 5, 23, 59, 59, 999)},
    // Not on PostgreSQL: its time arrives as SQL_TYPE_TIME, which the ODBC
    // client reads without its fraction (13:45:30, not 13:45:31); SQL Server's
    // time arrives as a timestamp and keeps it.
    {"time_rounds_up", "TIME", nullptr, nullptr, "'13:45:30.9996'", nullptr, Reader::kDateTime,
     At(1899, 12, 30, 13, 45, 31)},
    {"text_blob", "BLOB SUB_TYPE TEXT", "TEXT", "TEXT", "'{\"total\": 10, \"ok\": true}'", nullptr,
     Reader::kText, std::string("{\"total\": 10, \"ok\": true}")},
    // Single-byte text arrives as stored and is decoded as Windows-1252; SQLite
    // and PostgreSQL keep Unicode text.
    {"single_byte_text", "VARCHAR(20) CHARACTER SET WIN1252", "VARCHAR(20)", "VARCHAR(20)",
     "'Jo\xE3o \xC7\x80'", "'Jo\xC3\xA3o \xC3\x87\xE2\x82\xAC'", Reader::kText,
     std::string("Jo\xC3\xA3o \xC3\x87\xE2\x82\xAC")},
    {"single_byte_none", "VARCHAR(20)", nullptr, nullptr, "'a\xE7\xE3o'", nullptr, Reader::kText,
     std::string("a\xC3\xA7\xC3\xA3o")},
    {"unicode_text", "VARCHAR(20) CHARACTER SET UTF8", nullptr, "VARCHAR(20)",
     "'a\xC3\xA7\xC3\xA3o \xE2\x82\xAC'", nullptr, Reader::kText,
     std::string("a\xC3\xA7\xC3\xA3o \xE2\x82\xAC")},
    {"single_byte_blob", "BLOB SUB_TYPE TEXT CHARACTER SET WIN1252", nullptr, nullptr,
     "'Jo\xE3o \x80'", nullptr, Reader::kText, std::string("Jo\xC3\xA3o \xE2\x82\xAC")},
    {"unicode_blob", "BLOB SUB_TYPE TEXT CHARACTER SET UTF8", nullptr, "TEXT",
     "'a\xC3\xA7\xC3\xA3o'", nullptr, Reader::kText, std::string("a\xC3\xA7\xC3\xA3o")},
    {"unicode_fixed", "CHAR(4) CHARACTER SET UTF8", nullptr, "CHAR(4)", "'\xC3\xA9'", nullptr,
     Reader::kText, std::string("\xC3\xA9")},
    // Characters outside the BMP arrive as surrogate pairs through ODBC.
    {"outside_bmp", "VARCHAR(10) CHARACTER SET UTF8", "VARCHAR(10)", "VARCHAR(10)",
     "'\xF0\x9F\x98\x80 \xF0\xA0\xAE\xB7'", nullptr, Reader::kText,
     std::string("\xF0\x9F\x98\x80 \xF0\xA0\xAE\xB7")},
    {"outside_bmp_long", "BLOB SUB_TYPE TEXT CHARACTER SET UTF8", "TEXT", "TEXT",
     kFacesLiteral.c_str(), nullptr, Reader::kText, kFaces},
    {"null_integer", "INTEGER", "INTEGER", "INTEGER", "NULL", nullptr, Reader::kInteger, 0},
    {"null_integer_text", "INTEGER", "INTEGER", "INTEGER", "NULL", nullptr, Reader::kText,
     std::string()},
    {"null_numeric", "NUMERIC(15,2)", "NUMERIC(15,2)", "NUMERIC(15,2)", "NULL", nullptr,
     Reader::kInteger, 0},
    {"null_text", "VARCHAR(10)", "VARCHAR(10)", "VARCHAR(10)", "NULL", nullptr, Reader::kText,
     std::string()},
    {"null_text_as_integer", "VARCHAR(10)", "VARCHAR(10)", "VARCHAR(10)", "NULL", nullptr,
     Reader::kInteger, Fails{"'' is not a valid integer value"}},
    {"null_date", "DATE", "DATE", "DATE", "NULL", nullptr, Reader::kDateTime, DateTime{}},
    {"null_blob", "BLOB SUB_TYPE TEXT", "TEXT", "TEXT", "NULL", nullptr, Reader::kText,
     std::string()},
};

const char* TypeOn(const ReadingCase& reading, Backend backend) {
  switch (backend) {
    case Backend::kFirebird:
      return reading.firebird_type;
    case Backend::kOdbcSqlite:
      return reading.sqlite_type;
    case Backend::kOdbcPostgres:
      return reading.postgres_type;
  }
  return nullptr;
}

bool Applies(const ReadingCase& reading, Backend backend) {
  return TypeOn(reading, backend) != nullptr;
}

std::string TableFor(Backend backend) {
  std::string columns = "ID INTEGER NOT NULL PRIMARY KEY";
  std::string values = "1";
  for (const ReadingCase& reading : kCases) {
    if (!Applies(reading, backend)) continue;
    columns += std::string(", ") + reading.column + " " + TypeOn(reading, backend);
    const bool unicode = backend != Backend::kFirebird && reading.unicode_literal;
    values += std::string(", ") + (unicode ? reading.unicode_literal : reading.firebird_literal);
  }
  return "CREATE TABLE TIPOS (" + columns + ");\nINSERT INTO TIPOS VALUES (" + values + ");\n";
}

std::string Describe(const Expected& value) {
  if (auto* integer = std::get_if<std::int32_t>(&value)) return std::to_string(*integer);
  if (auto* text = std::get_if<std::string>(&value)) return "'" + *text + "'";
  if (auto* moment = std::get_if<DateTime>(&value)) {
    const CivilTime c = moment->ToCivil();
    char buffer[64];
    snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%03d", c.year, c.month, c.day,
             c.hour, c.minute, c.second, c.millisecond);
    return buffer;
  }
  return "failure \"" + std::get<Fails>(value).message + "\"";
}

Expected Read(const ColumnValue& value, Reader reader) {
  try {
    switch (reader) {
      case Reader::kInteger:
        return value.AsInteger();
      case Reader::kText:
        return value.AsString();
      case Reader::kDateTime:
        return value.AsDateTime();
    }
  } catch (const Failure& failure) {
    return Fails{failure.what()};
  }
  return Fails{"unknown reader"};
}

class ReadingRulesTest : public ::testing::TestWithParam<Backend> {};

TEST_P(ReadingRulesTest, EachColumnTypeReadsByTheTable) {
  auto database = testing::CreateTestDatabase(GetParam(), TableFor(GetParam()));
  if (IsSkipped()) return;  // no PostgreSQL server here
  auto connection = database->Connect();
  Query& query = connection->fbquery();
  RunStatement(query, "select * from TIPOS");
  ASSERT_FALSE(query.AtEnd());
  for (const ReadingCase& reading : kCases) {
    if (!Applies(reading, GetParam())) continue;
    // Column names are found without regard to case.
    EXPECT_EQ(Describe(Read(query.FieldByName(reading.column), reading.reader)),
              Describe(reading.expected))
        << "column " << reading.column;
  }
}

TEST_P(ReadingRulesTest, ResultWithoutRowsReadsEveryColumnAsNull) {
  auto database = testing::CreateTestDatabase(
      GetParam(),
      "CREATE TABLE PARAMETROS (ID INTEGER NOT NULL PRIMARY KEY, NFCE_SERIE CHAR(3), "
      "QUANDO DATE, N INTEGER);");
  if (IsSkipped()) return;  // no PostgreSQL server here
  auto connection = database->Connect();
  Query& query = connection->fbquery();
  RunStatement(query, "SELECT NFCE_SERIE from PARAMETROS");
  EXPECT_TRUE(query.AtEnd());
  EXPECT_EQ(query.FieldByName("NFCE_SERIE").AsString(), "");
  EXPECT_EQ(query.Field(0).AsString(), "");
  RunStatement(query, "select * from PARAMETROS");
  EXPECT_EQ(query.FieldByName("n").AsInteger(), 0);
  EXPECT_EQ(query.FieldByName("quando").AsDateTime(), DateTime{});
  // Text read as an integer is the empty text, which is no integer.
  EXPECT_THROW(query.FieldByName("nfce_serie").AsInteger(), Failure);
}

TEST_P(ReadingRulesTest, TextLongerThanOneBlobSegmentIsReadWhole) {
  auto database = testing::CreateTestDatabase(
      GetParam(), "CREATE TABLE FECHAMENTOS (CODIGO INTEGER NOT NULL PRIMARY KEY, JSON {TEXT});");
  if (IsSkipped()) return;  // no PostgreSQL server here
  const std::string piece(30000, 'x');
  database->Execute("INSERT INTO FECHAMENTOS VALUES (1, '" + piece + "');");
  // Three times the piece: more than one 64 KiB segment.
  database->Execute("UPDATE FECHAMENTOS SET JSON = JSON || JSON || JSON || 'end';");
  auto connection = database->Connect();
  Query& query = connection->fbquery();
  RunStatement(query, "select * from FECHAMENTOS where 1 = 1");
  EXPECT_EQ(query.FieldByName("json").AsString(), piece + piece + piece + "end");
}

TEST(FirebirdReadingTest, AColumnOfAnUnknownTypeFailsOnlyWhenRead) {
  auto database = testing::CreateTestDatabase(
      Backend::kFirebird,
      "CREATE TABLE LISTAS (ID INTEGER NOT NULL PRIMARY KEY, VALORES INTEGER[3], NOME VARCHAR(10));"
      "INSERT INTO LISTAS (ID, NOME) VALUES (1, 'um');");
  auto connection = database->Connect();
  Query& query = connection->fbquery();
  RunStatement(query, "select * from LISTAS");
  EXPECT_EQ(query.FieldByName("nome").AsString(), "um");
  EXPECT_EQ(query.FieldByName("id").AsInteger(), 1);
  for (const Reader reader : {Reader::kInteger, Reader::kText, Reader::kDateTime}) {
    const Expected read = Read(query.FieldByName("valores"), reader);
    ASSERT_TRUE(std::holds_alternative<Fails>(read)) << Describe(read);
    EXPECT_NE(std::get<Fails>(read).message.find("VALORES"), std::string::npos)
        << std::get<Fails>(read).message;
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, ReadingRulesTest,
                         ::testing::Values(Backend::kFirebird, Backend::kOdbcSqlite,
                                           Backend::kOdbcPostgres),
                         [](const auto& info) { return testing::BackendName(info.param); });

}  // namespace
}  // namespace quorbin
