// A query object over rows held in memory, for tests of code that reads the
// database through Query. It answers as the real query objects do: columns are
// found by name without regard to the case of ASCII letters, a missing column
// fails with "<query name>: Field '<name>' not found", a result without rows
// reads every column as NULL, and past the last row the last one stays current.
//
// A statement delivers its own rows when `results` names its text, otherwise the
// rows for every statement (given to the constructor or SetRows); a statement
// with neither fails to open. Every call is recorded in order, and the text of
// every statement that opened.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "store/query.h"
#include "support/ascii_text.h"
#include "support/failure.h"

namespace quorbin::testing {

// One row: column names and values, in the order of the result's columns.
using FakeRow = std::vector<std::pair<std::string, ColumnValue>>;

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
  // Without rows, only the statements that `results` names open.
  explicit FakeQuery(std::string name = "fbquery") : name_(std::move(name)) {}
  FakeQuery(std::string name, std::vector<FakeRow> rows)
      : name_(std::move(name)), rows_(std::move(rows)) {}

  // The rows of the statements that `results` does not name, from the next Open.
  void SetRows(std::vector<FakeRow> rows) { rows_ = std::move(rows); }
  // Every Open fails with `message` instead.
  void FailOpenWith(std::string message) { open_failure_ = std::move(message); }
  // The texts of the statements that opened, in order.
  const std::vector<std::string>& statements() const { return statements_; }

  std::map<std::string, std::vector<FakeRow>> results;
  // "Close", "SetText <statement>", "Open", "First", "Next", in order.
  std::vector<std::string> calls;
  bool open = false;

  void Close() override {
    calls.push_back("Close");
    open = false;
  }
  void SetText(std::string statement) override {
    calls.push_back("SetText " + statement);
    text_ = std::move(statement);
  }
  void Open() override {
    calls.push_back("Open");
    if (!open_failure_.empty()) throw Failure(open_failure_);
    const auto own = results.find(text_);
    if (own != results.end()) {
      current_rows_ = own->second;
    } else if (rows_) {
      current_rows_ = *rows_;
    } else {
      throw Failure(name_ + ": no such table in: " + text_);
    }
    statements_.push_back(text_);
    open = true;
    current_ = 0;
  }
  void First() override {
    calls.push_back("First");
    current_ = 0;
  }
  void Next() override {
    calls.push_back("Next");
    if (current_ < current_rows_.size()) ++current_;
  }
  bool AtEnd() const override { return !open || current_ >= current_rows_.size(); }

  const ColumnValue& FieldByName(std::string_view name) const override {
    static const ColumnValue kNull;
    CheckOpen();
    if (current_rows_.empty()) return kNull;
    for (const auto& [column, value] : CurrentRow()) {
      if (EqualsIgnoringCase(column, name)) return value;
    }
    throw Failure(name_ + ": Field '" + std::string(name) + "' not found");
  }
  const ColumnValue& Field(std::size_t position) const override {
    static const ColumnValue kNull;
    CheckOpen();
    if (current_rows_.empty()) return kNull;
    if (position >= CurrentRow().size()) {
      throw Failure(name_ + ": Field index " + std::to_string(position) + " out of range");
    }
    return CurrentRow()[position].second;
  }

  void Edit() override {}
  void SetInteger(std::string_view, std::int32_t) override {}
  void SetString(std::string_view, std::string_view) override {}
  void Post() override {}
  void Cancel() override {}

 private:
  void CheckOpen() const {
    if (!open) throw Failure(name_ + ": Cannot perform this operation on a closed dataset");
  }
  const FakeRow& CurrentRow() const {
    return current_rows_[std::min(current_, current_rows_.size() - 1)];
  }

  std::string name_;
  std::optional<std::vector<FakeRow>> rows_;
  std::vector<FakeRow> current_rows_;
  std::vector<std::string> statements_;
  std::string text_;
  std::string open_failure_;
  std::size_t current_ = 0;
};

}  // namespace quorbin::testing
