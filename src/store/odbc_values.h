// Values between ODBC and ColumnValue: the kind of a column by its SQL type
// (computed once per column), decimal text as the driver writes it ("-123.45",
// ".50", "-.5") as a fixed-point value, timestamps taken to the nearest
// millisecond, and ColumnValues bound as statement parameters.
#pragma once

#include <string>
#include <string_view>

#include "platform/odbc_headers.h"
#include "store/column_value.h"

namespace quorbin {

// SQL Server's time(n) and datetimeoffset(n) types.
constexpr SQLSMALLINT kSqlServerTime = -154;
constexpr SQLSMALLINT kSqlServerTimestampOffset = -155;

// The kind of a column of SQL type `type`: fixed-length text for CHAR and NCHAR
// (read without trailing blanks), variable text for any type not listed.
ColumnValue::Kind KindOfSqlType(SQLSMALLINT type);
bool IsUnicodeType(SQLSMALLINT type);

// A decimal number as the driver writes it as a fixed-point value; a number with
// more digits than 64 bits hold becomes a floating one.
ColumnValue DecimalValue(std::string_view text);

// The moment of a driver's timestamp, to the nearest millisecond.
DateTime TimestampValue(const SQL_TIMESTAMP_STRUCT& moment);

// One bound parameter; its storage must stay in place until the statement ran.
struct Parameter {
  SQLSMALLINT c_type = SQL_C_CHAR;
  SQLSMALLINT sql_type = SQL_VARCHAR;
  SQLULEN size = 1;
  SQLSMALLINT digits = 0;
  SQLBIGINT integer = 0;
  double number = 0;
  std::u16string text;
  std::string characters;
  SQL_TIMESTAMP_STRUCT moment{};
  SQLLEN indicator = 0;

  SQLPOINTER Data() {
    switch (c_type) {
      case SQL_C_SBIGINT:
        return &integer;
      case SQL_C_DOUBLE:
        return &number;
      case SQL_C_WCHAR:
        return text.data();
      case SQL_C_TYPE_TIMESTAMP:
        return &moment;
      default:
        return characters.data();
    }
  }
};

// Sets `parameter` up for `value`.
void Fill(Parameter& parameter, const ColumnValue& value);

}  // namespace quorbin
