// DatabaseSession: what the connection asks of one open database client session
// (ODBC or Firebird). A session runs a statement and hands back its whole
// result at once, so any number of results can be iterated while other
// statements and updates run; it finds the key that identifies a table's rows; and
// it updates one row with bound parameters, committing only when exactly one row
// changed (or the driver cannot tell how many did).
//
// Every call raises DatabaseFailure with the client's message. ConnectionLost
// says the session is dead (the server went away): the connection drops it and
// opens a new one.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "store/column_value.h"
#include "store/connection_profile.h"
#include "store/database_failure.h"
#include "support/failure.h"

namespace quorbin {

// What bounds a statement's wait (for a lock, for a busy server) as the client
// took it when the session opened, for people reading a diagnosis.
struct StatementWaitLimit {
  // "query time-out" (ODBC: an attribute of every statement) or "lock time-out"
  // (Firebird: a parameter of every transaction); empty when the client says
  // nothing of it.
  std::string name;
  // The seconds the client took; 0 when it kept no limit.
  int seconds = 0;
};

struct ResultColumn {
  std::string name;
  // The table the column comes from, as the server names it; empty when the
  // column is computed.
  std::string table;
  ColumnValue::Kind kind = ColumnValue::Kind::kNull;
  // Character data held in Unicode (otherwise single-byte, in the ANSI code page).
  bool unicode = false;
};

struct ResultSet {
  std::vector<ResultColumn> columns;
  std::vector<std::vector<ColumnValue>> rows;
};

struct ColumnAssignment {
  ResultColumn column;
  ColumnValue value;
};

// UPDATE `table` SET <changes> WHERE <key columns> = <key values>.
struct RowUpdate {
  std::string table;
  std::vector<ColumnAssignment> key;
  std::vector<ColumnAssignment> changes;
};

// A name from the server as a quoted SQL identifier ("" inside doubled).
std::string QuoteIdentifier(std::string_view name);

// "UPDATE t SET a = ?, ... WHERE k = ? AND ...": the changed columns' values
// first, then the key's, all as parameters.
std::string UpdateStatementText(const RowUpdate& update);

class DatabaseSession {
 public:
  virtual ~DatabaseSession() = default;

  // Runs `statement` (committed at once) and returns every row of its result.
  virtual ResultSet Run(const std::string& statement) = 0;
  // The columns that identify a row of `table`, in key order: its primary key;
  // without one, a unique constraint or unique index whose columns are all not
  // null (the one of fewest columns, then by name); empty when it has neither.
  virtual std::vector<std::string> RowKey(const std::string& table) = 0;
  // Runs the update in its own transaction; commits when exactly one row changed,
  // or when the driver reports the count as unknown (-1: the key is unique), and
  // rolls back otherwise. Returns the number of rows changed, or -1.
  virtual std::int64_t UpdateRow(const RowUpdate& update) = 0;
  // Commits whatever is pending; nothing is when every call above has returned,
  // and then it does nothing and cannot fail.
  virtual void Commit() = 0;
  // The client software the session runs on ("ODBC driver SQL Server",
  // "Firebird client libfbclient.so.2"), for people reading a diagnosis.
  virtual std::string ClientName() const { return {}; }
  virtual StatementWaitLimit WaitLimit() const { return {}; }
};

// Whether an update that changed `rows` rows stands: exactly one, or a count the
// driver cannot tell (-1: SET NOCOUNT ON, a trigger), since the key is unique.
inline bool UpdateCountAccepted(std::int64_t rows) {
  return rows == 1 || rows == -1;
}

using SessionOpener = std::function<std::unique_ptr<DatabaseSession>(const ConnectionProfile&)>;

}  // namespace quorbin
