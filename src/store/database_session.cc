#include "store/database_session.h"

namespace quorbin {

std::string QuoteIdentifier(std::string_view name) {
  std::string quoted = "\"";
  for (const char c : name) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  return quoted + "\"";
}

std::string UpdateStatementText(const RowUpdate& update) {
  std::string sql = "UPDATE " + QuoteIdentifier(update.table) + " SET ";
  for (std::size_t i = 0; i < update.changes.size(); ++i) {
    sql += (i ? ", " : "") + QuoteIdentifier(update.changes[i].column.name) + " = ?";
  }
  sql += " WHERE ";
  for (std::size_t i = 0; i < update.key.size(); ++i) {
    sql += (i ? " AND " : "") + QuoteIdentifier(update.key[i].column.name) + " = ?";
  }
  return sql;
}

}  // namespace quorbin
