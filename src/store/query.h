// The database as the rest of the agent uses it: a connection (`fbconn`) with two
// query objects (`fbquery` and `fbquery2`). Every statement runs in one cycle:
// close, set the text, open, move to the first row. The rows a query delivers are
// those that matched when it was opened; two queries may be open at once, and a
// commit does not end an open result.
//
// Failures are raised (quorbin::Failure, with the database client's message) to
// the caller; those of the database itself are DatabaseFailure. Nothing here
// writes to the activity log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "store/column_value.h"
#include "store/database_failure.h"

namespace quorbin {

class Query {
 public:
  virtual ~Query() = default;

  // Ends the current result, if any, and discards an unposted change.
  virtual void Close() = 0;
  virtual void SetText(std::string statement) = 0;
  // Runs the statement and stands on the first row of the result.
  virtual void Open() = 0;
  virtual void First() = 0;
  virtual void Next() = 0;
  // True for an empty result, and after Next on the last row (which stays current).
  virtual bool AtEnd() const = 0;

  // Compared without regard to case; a missing column fails with
  // "<query name>: Field '<name>' not found". Without rows every column is NULL.
  virtual const ColumnValue& FieldByName(std::string_view name) const = 0;
  virtual const ColumnValue& Field(std::size_t position) const = 0;

  // Edit the current row, set columns, then Post writes the columns set since Edit
  // to that one row (found by its key) and fails unless exactly one row changed.
  virtual void Edit() = 0;
  virtual void SetInteger(std::string_view column, std::int32_t value) = 0;
  virtual void SetString(std::string_view column, std::string_view value) = 0;
  virtual void Post() = 0;
  // Ends editing and drops the change not posted yet, so that moving to another
  // row does not try to post it again.
  virtual void Cancel() = 0;
};

class Connection {
 public:
  virtual ~Connection() = default;
  virtual Query& fbquery() = 0;
  virtual Query& fbquery2() = 0;
  virtual void Commit() = 0;
};

// Close, set the text, open, first.
void RunStatement(Query& query, std::string statement);

// Sets `web_ex` of the current row to 1, posts and commits.
void MarkExported(Query& query, Connection& connection);

// Sets `erro_envio` of the current row to `status_line`, posts and commits.
void RecordSendError(Query& query, Connection& connection, std::string_view status_line);

}  // namespace quorbin
