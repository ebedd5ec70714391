// ColumnValue: one column of the current row as the database delivered it, and
// the fixed rules by which the agent reads it as an integer, a text or a
// date-time. Both database clients fill the same value, so the rules live here
// once.
//
// Reading rules:
//   integer      -> AsInteger the value; AsString its decimal digits
//   fixed-point  -> AsInteger rounded to the nearest integer, ties to even
//   float        -> AsInteger rounded to the nearest integer, ties to even
//   text         -> AsInteger by the integer conversion (ParseInteger, which fails
//                   with "'X' is not a valid integer value"); AsString the text, a
//                   fixed-length column without its trailing blanks
//   date/time    -> AsDateTime: a date at 00:00, a time on the zero date, a
//                   timestamp as it is
//   NULL         -> 0, the empty text, the zero date-time; but NULL in a text
//                   column read as an integer is the empty text, which fails
// Numbers read as text give their decimal digits ("," before the fraction); any
// other read the table leaves open fails with a Failure. A column of a type the
// client cannot convert fails only when it is read.
#pragma once

#include <cstdint>
#include <string>

#include "support/date_time.h"

namespace quorbin {

struct ColumnValue {
  enum class Kind {
    kNull,
    kInteger,
    kFixedPoint,    // `integer` scaled by 10^`scale` (scale <= 0)
    kFloat,         // `number`
    kFixedText,     // `text`, padded with blanks by the database
    kVariableText,  // `text`, as stored
    kDate,          // `moment`
    kTime,          // `moment`, on the zero date
    kTimestamp,     // `moment`
    kUnreadable,    // a type the agent cannot convert: every read fails with `text`
  };

  // The column's kind; `null` marks a NULL in it. kNull is a column whose type is
  // NULL itself and reads as NULL.
  Kind kind = Kind::kNull;
  bool null = false;
  std::int64_t integer = 0;
  int scale = 0;
  double number = 0;
  std::string text;  // UTF-8: single-byte data already decoded from the ANSI code page
  DateTime moment;

  bool IsNull() const { return null || kind == Kind::kNull; }
  std::int32_t AsInteger() const;
  std::string AsString() const;
  DateTime AsDateTime() const;
};

}  // namespace quorbin
