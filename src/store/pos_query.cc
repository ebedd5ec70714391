#include "store/pos_query.h"

#include <algorithm>
#include <cctype>

#include "store/pos_connection.h"
#include "support/ascii_text.h"
#include "support/failure.h"

namespace quorbin {
namespace {

bool IsNameCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}

// The table named after the first FROM of a statement, for a client that does
// not say which table a column comes from.
std::string TableAfterFrom(std::string_view statement) {
  for (std::size_t at = 0; at + 4 <= statement.size(); ++at) {
    const bool starts_word = at == 0 || !IsNameCharacter(statement[at - 1]);
    if (!starts_word || !EqualsIgnoringCase(statement.substr(at, 4), "from")) continue;
    std::size_t begin = at + 4;
    if (begin < statement.size() && IsNameCharacter(statement[begin])) continue;
    while (begin < statement.size() && std::isspace(static_cast<unsigned char>(statement[begin])))
      ++begin;
    std::size_t end = begin;
    while (end < statement.size() && IsNameCharacter(statement[end])) ++end;
    return std::string(statement.substr(begin, end - begin));
  }
  return std::string();
}

ColumnValue NullOf(const ResultColumn& column) {
  ColumnValue value;
  value.kind = column.kind;
  value.null = true;
  return value;
}

}  // namespace

PosQuery::PosQuery(PosConnection& connection, std::string name)
    : connection_(connection), name_(std::move(name)) {}

void PosQuery::Close() {
  open_ = false;
  result_ = ResultSet{};
  null_row_.clear();
  row_ = 0;
  past_end_ = false;
  editing_ = false;
  changes_.clear();
}

void PosQuery::Open() {
  Close();
  ResultSet result = connection_.Run(text_);
  result_ = std::move(result);
  for (const ResultColumn& column : result_.columns) null_row_.push_back(NullOf(column));
  open_ = true;
  row_ = 0;
  past_end_ = result_.rows.empty();
}

void PosQuery::First() {
  CheckOpen();
  if (editing_) Post();
  row_ = 0;
  past_end_ = result_.rows.empty();
}

void PosQuery::Next() {
  CheckOpen();
  if (editing_) Post();
  if (row_ + 1 < result_.rows.size()) {
    ++row_;
  } else {
    past_end_ = true;
  }
}

bool PosQuery::AtEnd() const {
  return !open_ || result_.rows.empty() || past_end_;
}

void PosQuery::CheckOpen() const {
  if (!open_) throw Failure(name_ + ": Cannot perform this operation on a closed dataset");
}

std::size_t PosQuery::ColumnIndex(std::string_view name) const {
  for (std::size_t i = 0; i < result_.columns.size(); ++i) {
    if (EqualsIgnoringCase(result_.columns[i].name, name)) return i;
  }
  throw Failure(name_ + ": Field '" + std::string(name) + "' not found");
}

const ColumnValue& PosQuery::FieldByName(std::string_view name) const {
  return Field(ColumnIndex(name));
}

const ColumnValue& PosQuery::Field(std::size_t position) const {
  if (position >= result_.columns.size()) {
    throw Failure(name_ + ": Field index " + std::to_string(position) + " out of range");
  }
  if (result_.rows.empty()) return null_row_[position];
  return result_.rows[row_][position];
}

void PosQuery::Edit() {
  CheckOpen();
  if (result_.rows.empty()) throw Failure(name_ + ": There is no row to edit");
  editing_ = true;
}

void PosQuery::SetColumn(std::string_view column, ColumnValue value) {
  if (!editing_) throw Failure(name_ + ": The row is not in editing");
  const std::size_t index = ColumnIndex(column);
  auto same = [&](const auto& change) { return change.first == index; };
  changes_.erase(std::remove_if(changes_.begin(), changes_.end(), same), changes_.end());
  changes_.emplace_back(index, std::move(value));
}

void PosQuery::SetInteger(std::string_view column, std::int32_t value) {
  ColumnValue integer;
  integer.kind = ColumnValue::Kind::kInteger;
  integer.integer = value;
  SetColumn(column, integer);
}

void PosQuery::SetString(std::string_view column, std::string_view value) {
  ColumnValue text;
  text.kind = ColumnValue::Kind::kVariableText;
  text.text = std::string(value);
  SetColumn(column, text);
}

std::string PosQuery::TableOfChanges() const {
  std::string table;
  for (const auto& [index, value] : changes_) {
    std::string column_table = result_.columns[index].table;
    if (column_table.empty()) column_table = TableAfterFrom(text_);
    if (column_table.empty()) {
      throw Failure(name_ + ": Field '" + result_.columns[index].name +
                    "' does not belong to a table and cannot be updated");
    }
    if (!table.empty() && !EqualsIgnoringCase(table, column_table)) {
      throw Failure(name_ + ": The fields changed belong to more than one table");
    }
    table = column_table;
  }
  return table;
}

RowUpdate PosQuery::PrepareUpdate() const {
  RowUpdate update;
  update.table = TableOfChanges();
  const std::vector<std::string> key = connection_.RowKey(update.table);
  if (key.empty()) {
    throw Failure(name_ + ": Table '" + update.table +
                  "' has no primary key, so its rows cannot be updated");
  }
  const std::vector<ColumnValue>& row = result_.rows[row_];
  for (const std::string& key_column : key) {
    auto found = std::find_if(result_.columns.begin(), result_.columns.end(), [&](const auto& c) {
      return EqualsIgnoringCase(c.name, key_column) &&
             (c.table.empty() || EqualsIgnoringCase(c.table, update.table));
    });
    if (found == result_.columns.end()) {
      throw Failure(name_ + ": Key field '" + key_column + "' of table '" + update.table +
                    "' is not in the result, so the row cannot be updated");
    }
    const ColumnValue& value = row[static_cast<std::size_t>(found - result_.columns.begin())];
    if (value.IsNull()) throw Failure(name_ + ": Key field '" + key_column + "' is NULL");
    update.key.push_back({*found, value});
  }
  for (const auto& [index, value] : changes_) {
    update.changes.push_back({result_.columns[index], value});
  }
  return update;
}

void PosQuery::Cancel() {
  editing_ = false;
  changes_.clear();
}

void PosQuery::Post() {
  if (!editing_) return;
  if (changes_.empty()) {
    editing_ = false;
    return;
  }
  const std::int64_t changed = connection_.UpdateRow(PrepareUpdate());
  if (changed == 0) throw Failure(name_ + ": The row to update was not found");
  if (!UpdateCountAccepted(changed)) {
    throw Failure(name_ + ": The update matched " + std::to_string(changed) +
                  " rows and was undone");
  }
  std::vector<ColumnValue>& row = result_.rows[row_];
  for (auto& [index, value] : changes_) row[index] = std::move(value);
  changes_.clear();
  editing_ = false;
}

}  // namespace quorbin
