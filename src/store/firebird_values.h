// Values between the Firebird client's XSQLDA and ColumnValue.
//
// FirebirdColumn describes a result column once (its kind, character set and
// scale) and reads its value from the fetched buffer: text in a single-byte
// character set is decoded from the ANSI code page, UNICODE_FSS and UTF8 are kept;
// times are taken to the nearest millisecond; a text blob is read through
// `read_blob`. A column of a type the agent cannot convert reads as a value that
// fails only when it is read.
//
// FirebirdParameters binds ColumnValues as the input of a statement: integers as
// 64-bit with their scale, floats as doubles, date-times as timestamps and texts
// as VARCHAR in the column's own encoding (the ANSI code page, sent with no
// character set, so the bytes are stored as they are; or UTF-8).
#pragma once

#include <ibase.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "store/database_session.h"

namespace quorbin {

// An XSQLDA of `count` variables, freed with its owner.
class Sqlda {
 public:
  explicit Sqlda(short count);
  XSQLDA* get() const { return reinterpret_cast<XSQLDA*>(bytes_.get()); }
  XSQLVAR& var(int index) const { return get()->sqlvar[index]; }

 private:
  std::unique_ptr<unsigned char[]> bytes_;
};

using BlobReader = std::function<std::string(const ISC_QUAD&)>;

class FirebirdColumn {
 public:
  // Describes `var` and points it at buffers of its own.
  explicit FirebirdColumn(XSQLVAR& var);
  FirebirdColumn(FirebirdColumn&&) = default;

  const ResultColumn& description() const { return description_; }
  ColumnValue Read(const BlobReader& read_blob) const;

 private:
  ResultColumn description_;
  short type_ = 0;
  short scale_ = 0;
  unsigned charset_ = 0;
  short length_ = 0;
  std::vector<char> data_;
  std::unique_ptr<short> null_;
};

class FirebirdParameters {
 public:
  explicit FirebirdParameters(const std::vector<ColumnAssignment>& values);
  XSQLDA* sqlda() const { return sqlda_.get(); }

 private:
  Sqlda sqlda_;
  std::vector<std::vector<char>> buffers_;
  std::vector<short> nulls_;
};

}  // namespace quorbin
