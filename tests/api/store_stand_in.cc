// Stand-ins for the two store functions the login uses, for as long as the
// database clients are built elsewhere. They are weak: the store's own
// definitions replace them wherever those are linked in.
#include "store/column_value.h"
#include "store/query.h"

namespace quorbin {

[[gnu::weak]] void RunStatement(Query& query, std::string statement) {
  query.Close();
  query.SetText(std::move(statement));
  query.Open();
  query.First();
}

[[gnu::weak]] std::string ColumnValue::AsString() const {
  switch (kind) {
    case Kind::kNull:
      return {};
    case Kind::kInteger:
      return std::to_string(integer);
    case Kind::kFixedText: {
      std::string trimmed = text;
      trimmed.erase(trimmed.find_last_not_of(' ') + 1);
      return trimmed;
    }
    default:
      return text;
  }
}

}  // namespace quorbin
