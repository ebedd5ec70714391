#include "store/odbc_values.h"

#include <algorithm>
#include <charconv>

#include "support/code_page.h"

namespace quorbin {

using Kind = ColumnValue::Kind;

ColumnValue DecimalValue(std::string_view text) {
  ColumnValue value;
  std::string digits;
  int fraction_digits = 0;
  bool in_fraction = false;
  bool negative = false;
  for (const char c : text) {
    if (c == '-') {
      negative = true;
    } else if (c == '.') {
      in_fraction = true;
    } else if (c >= '0' && c <= '9') {
      digits += c;
      if (in_fraction) ++fraction_digits;
    }
  }
  const std::size_t significant =
      digits.size() - std::min(digits.size(), digits.find_first_not_of('0'));
  if (significant <= 18) {
    value.kind = Kind::kFixedPoint;
    std::int64_t magnitude = 0;
    for (const char c : digits) magnitude = magnitude * 10 + (c - '0');
    value.integer = negative ? -magnitude : magnitude;
    value.scale = -fraction_digits;
    return value;
  }
  value.kind = Kind::kFloat;
  std::from_chars(text.data(), text.data() + text.size(), value.number);
  return value;
}

ColumnValue::Kind KindOfSqlType(SQLSMALLINT type) {
  switch (type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      return Kind::kInteger;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return Kind::kFixedPoint;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return Kind::kFloat;
    case SQL_CHAR:
    case SQL_WCHAR:
      return Kind::kFixedText;
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return Kind::kDate;
    case SQL_TYPE_TIME:
    case SQL_TIME:
    case kSqlServerTime:
      return Kind::kTime;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
    case kSqlServerTimestampOffset:
      return Kind::kTimestamp;
    default:
      return Kind::kVariableText;
  }
}

bool IsUnicodeType(SQLSMALLINT type) {
  return type == SQL_WCHAR || type == SQL_WVARCHAR || type == SQL_WLONGVARCHAR;
}

DateTime TimestampValue(const SQL_TIMESTAMP_STRUCT& moment) {
  const DateTime second = DateTime::FromCivil(
      {moment.year, moment.month, moment.day, moment.hour, moment.minute, moment.second, 0});
  // To the nearest millisecond; 999.5 ms carries into the next second.
  return DateTime{second.ms + (static_cast<std::int64_t>(moment.fraction) + 500'000) / 1'000'000};
}

void Fill(Parameter& parameter, const ColumnValue& value) {
  if (value.IsNull()) {
    parameter.indicator = SQL_NULL_DATA;
    return;
  }
  switch (value.kind) {
    case Kind::kInteger:
      parameter.c_type = SQL_C_SBIGINT;
      parameter.sql_type = SQL_BIGINT;
      parameter.integer = value.integer;
      return;
    case Kind::kFixedPoint: {
      // Decimal text with "." before the fraction, as ODBC writes numbers.
      std::string text = value.AsString();
      std::replace(text.begin(), text.end(), ',', '.');
      parameter.c_type = SQL_C_CHAR;
      parameter.sql_type = SQL_DECIMAL;
      parameter.size = std::max<SQLULEN>(1, text.size());
      parameter.digits = static_cast<SQLSMALLINT>(-value.scale);
      parameter.characters = text;
      parameter.indicator = static_cast<SQLLEN>(text.size());
      return;
    }
    case Kind::kFloat:
      parameter.c_type = SQL_C_DOUBLE;
      parameter.sql_type = SQL_DOUBLE;
      parameter.number = value.number;
      return;
    case Kind::kDate:
    case Kind::kTime:
    case Kind::kTimestamp: {
      const CivilTime civil = value.moment.ToCivil();
      parameter.c_type = SQL_C_TYPE_TIMESTAMP;
      parameter.sql_type = SQL_TYPE_TIMESTAMP;
      parameter.size = 23;
      parameter.digits = 3;
      parameter.moment =
          SQL_TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(civil.year),
                               static_cast<SQLUSMALLINT>(civil.month),
                               static_cast<SQLUSMALLINT>(civil.day),
                               static_cast<SQLUSMALLINT>(civil.hour),
                               static_cast<SQLUSMALLINT>(civil.minute),
                               static_cast<SQLUSMALLINT>(civil.second),
                               static_cast<SQLUINTEGER>(civil.millisecond) * 1'000'000u};
      return;
    }
    default: {
      parameter.c_type = SQL_C_WCHAR;
      parameter.text = Utf8ToUtf16(value.AsString());
      parameter.sql_type = parameter.text.size() > 4000 ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
      parameter.size = std::max<SQLULEN>(1, parameter.text.size());
      parameter.indicator = static_cast<SQLLEN>(parameter.text.size() * sizeof(char16_t));
      return;
    }
  }
}

}  // namespace quorbin
