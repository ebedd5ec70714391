// A query object over tables held in memory, for tests of code that reads the
// database through Query. Each statement text maps to its rows; a statement
// without rows gives an empty result in which every column is NULL. Every call
// is recorded in order.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "store/query.h"
#include "support/failure.h"

namespace quorbin::testing {

class FakeQuery final : public Query {
 public:
  using Row = std::map<std::string, ColumnValue>;

  std::map<std::string, std::vector<Row>> results;
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
    if (!results.contains(text_)) throw Failure("no such table in: " + text_);
    open = true;
    row_ = 0;
  }
  void First() override {
    calls.push_back("First");
    row_ = 0;
  }
  void Next() override { ++row_; }
  bool AtEnd() const override { return Rows().empty() || row_ >= Rows().size(); }
  const ColumnValue& FieldByName(std::string_view name) const override {
    static const ColumnValue null;
    if (!open) throw Failure("query closed");
    if (Rows().empty()) return null;
    const auto found = Rows()[row_].find(std::string(name));
    if (found == Rows()[row_].end()) throw Failure("Field '" + std::string(name) + "' not found");
    return found->second;
  }
  const ColumnValue& Field(std::size_t) const override { throw Failure("not used"); }
  void Edit() override {}
  void SetInteger(std::string_view, std::int32_t) override {}
  void SetString(std::string_view, std::string_view) override {}
  void Post() override {}
  void Cancel() override {}

 private:
  const std::vector<Row>& Rows() const { return results.at(text_); }

  std::string text_;
  std::size_t row_ = 0;
};

inline ColumnValue TextValue(std::string text) {
  ColumnValue value;
  value.kind = ColumnValue::Kind::kVariableText;
  value.text = std::move(text);
  return value;
}

inline ColumnValue IntegerValue(std::int64_t number) {
  ColumnValue value;
  value.kind = ColumnValue::Kind::kInteger;
  value.integer = number;
  return value;
}

}  // namespace quorbin::testing
