// PosQuery: a query object (`fbquery`, `fbquery2`) on the PosConnection. Open runs
// the statement and keeps its whole result, so the rows delivered are exactly
// those that matched at open, whatever is updated or committed meanwhile.
//
// Editing: Edit, then SetInteger/SetString, then Post. Post updates the one row
// of the result's table identified by the table's row key (its primary key, or
// else a unique key of not-null columns, see DatabaseSession::RowKey), with the
// values bound as parameters, and commits at once; it fails when no row or more
// than one row changed (a count the driver reports as unknown is no failure). A
// table with neither key cannot be updated: Post fails and nothing is written. A row whose post
// failed stays in editing; First and Next post it again first; Cancel and Close discard the change.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "store/database_session.h"
#include "store/query.h"

namespace quorbin {

class PosConnection;

class PosQuery : public Query {
 public:
  PosQuery(PosConnection& connection, std::string name);

  void Close() override;
  void SetText(std::string statement) override { text_ = std::move(statement); }
  void Open() override;
  void First() override;
  void Next() override;
  bool AtEnd() const override;

  const ColumnValue& FieldByName(std::string_view name) const override;
  const ColumnValue& Field(std::size_t position) const override;

  void Edit() override;
  void SetInteger(std::string_view column, std::int32_t value) override;
  void SetString(std::string_view column, std::string_view value) override;
  void Post() override;
  void Cancel() override;

  const std::string& name() const { return name_; }
  bool IsOpen() const { return open_; }
  bool IsEditing() const { return editing_; }

 private:
  std::size_t ColumnIndex(std::string_view name) const;
  void CheckOpen() const;
  void SetColumn(std::string_view column, ColumnValue value);
  RowUpdate PrepareUpdate() const;
  std::string TableOfChanges() const;

  PosConnection& connection_;
  std::string name_;
  std::string text_;
  bool open_ = false;
  ResultSet result_;
  // NULL values of the result's columns, read when the result has no row.
  std::vector<ColumnValue> null_row_;
  std::size_t row_ = 0;
  bool past_end_ = false;
  bool editing_ = false;
  std::vector<std::pair<std::size_t, ColumnValue>> changes_;
};

}  // namespace quorbin
