// A query object over rows held in memory, for the sync tests. Columns are found
// without regard to case; a missing column fails as the real query objects do.
// Every statement run on it is recorded.
#pragma once

#include <algorithm>
#include <cctype>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/query.h"
#include "support/failure.h"

namespace quorbin::testing {

using FakeRow = std::map<std::string, ColumnValue>;

inline ColumnValue IntegerValue(std::int64_t value) {
  ColumnValue column;
  column.kind = ColumnValue::Kind::kInteger;
  column.integer = value;
  return column;
}

inline ColumnValue TextValue(std::string text) {
  ColumnValue column;
  column.kind = ColumnValue::Kind::kVariableText;
  column.text = std::move(text);
  return column;
}

inline ColumnValue DateValue(int year, int month, int day) {
  ColumnValue column;
  column.kind = ColumnValue::Kind::kDate;
  column.moment = DateTime::FromCivil({year, month, day});
  return column;
}

inline ColumnValue TimeValue(int hour, int minute, int second = 0, int millisecond = 0) {
  ColumnValue column;
  column.kind = ColumnValue::Kind::kTime;
  column.moment = DateTime::FromCivil({1899, 12, 30, hour, minute, second, millisecond});
  return column;
}

class FakeQuery final : public Query {
 public:
  FakeQuery(std::string name, std::vector<FakeRow> rows)
      : name_(std::move(name)), rows_(std::move(rows)) {}

  // The rows the next Open delivers; a failure text makes Open fail instead.
  void SetRows(std::vector<FakeRow> rows) { rows_ = std::move(rows); }
  void FailOpenWith(std::string message) { open_failure_ = std::move(message); }

  const std::vector<std::string>& statements() const { return statements_; }

  void Close() override { open_ = false; }
  void SetText(std::string statement) override { text_ = std::move(statement); }
  void Open() override {
    if (!open_failure_.empty()) throw Failure(open_failure_);
    statements_.push_back(text_);
    open_ = true;
    current_ = 0;
  }
  void First() override { current_ = 0; }
  void Next() override {
    if (current_ < rows_.size()) ++current_;
  }
  bool AtEnd() const override { return current_ >= rows_.size(); }

  // Without rows every column is NULL; past the last row the last one stays current.
  const ColumnValue& FieldByName(std::string_view name) const override {
    static const ColumnValue kNull;
    if (rows_.empty()) return kNull;
    for (const auto& [column, value] : rows_[Current()]) {
      if (SameName(column, name)) return value;
    }
    throw Failure(name_ + ": Field '" + std::string(name) + "' not found");
  }
  const ColumnValue& Field(std::size_t position) const override {
    static const ColumnValue kNull;
    if (rows_.empty()) return kNull;
    const FakeRow& row = rows_[Current()];
    if (position >= row.size()) throw Failure(name_ + ": Field index out of range");
    return std::next(row.begin(), static_cast<std::ptrdiff_t>(position))->second;
  }

  void Edit() override {}
  void SetInteger(std::string_view, std::int32_t) override {}
  void SetString(std::string_view, std::string_view) override {}
  void Post() override {}
  void Cancel() override {}

 private:
  static bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (std::tolower(static_cast<unsigned char>(a[i])) !=
          std::tolower(static_cast<unsigned char>(b[i]))) {
        return false;
      }
    }
    return true;
  }
  std::size_t Current() const { return std::min(current_, rows_.size() - 1); }

  std::string name_;
  std::vector<FakeRow> rows_;
  std::vector<std::string> statements_;
  std::string text_;
  std::string open_failure_;
  bool open_ = false;
  std::size_t current_ = 0;
};

}  // namespace quorbin::testing
