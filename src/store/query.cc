#include "store/query.h"

namespace quorbin {

void RunStatement(Query& query, std::string statement) {
  query.Close();
  query.SetText(std::move(statement));
  query.Open();
  query.First();
}

void MarkExported(Query& query, Connection& connection) {
  query.Edit();
  query.SetInteger("web_ex", 1);
  query.Post();
  connection.Commit();
}

void RecordSendError(Query& query, Connection& connection, std::string_view status_line) {
  query.Edit();
  query.SetString("erro_envio", status_line);
  query.Post();
  connection.Commit();
}

}  // namespace quorbin
