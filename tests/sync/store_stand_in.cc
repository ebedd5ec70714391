// Stand-ins for the reading rules of column values and for the statement cycle,
// so that the sync tests link on their own. They are weak: the database access
// library's own definitions take their place wherever it provides them.
#include <cctype>

#include "store/query.h"
#include "support/failure.h"
#include "support/integer_text.h"

namespace quorbin {

__attribute__((weak)) std::int32_t ColumnValue::AsInteger() const {
  switch (kind) {
    case Kind::kNull:
      return 0;
    case Kind::kInteger:
      return static_cast<std::int32_t>(integer);
    case Kind::kFixedText:
    case Kind::kVariableText:
      return ParseInteger(AsString());
    default:
      throw Failure("not an integer column");
  }
}

__attribute__((weak)) std::string ColumnValue::AsString() const {
  switch (kind) {
    case Kind::kNull:
      return {};
    case Kind::kInteger:
      return std::to_string(integer);
    case Kind::kFixedText: {
      std::string trimmed = text;
      while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
      return trimmed;
    }
    case Kind::kVariableText:
      return text;
    default:
      throw Failure("not a text column");
  }
}

__attribute__((weak)) DateTime ColumnValue::AsDateTime() const {
  switch (kind) {
    case Kind::kNull:
      return {};
    case Kind::kDate:
    case Kind::kTime:
    case Kind::kTimestamp:
      return moment;
    default:
      throw Failure("not a date-time column");
  }
}

__attribute__((weak)) void RunStatement(Query& query, std::string statement) {
  query.Close();
  query.SetText(std::move(statement));
  query.Open();
  query.First();
}

}  // namespace quorbin
