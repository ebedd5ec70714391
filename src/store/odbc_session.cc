#include "store/odbc_session.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "store/odbc_connection_string.h"
#include "store/odbc_driver_manager.h"
#include "store/odbc_values.h"
#include "support/code_page.h"

namespace quorbin {
namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager must use UTF-16");

using Kind = ColumnValue::Kind;

// The SQLSTATEs with which a server says that it ended the session itself
// (PostgreSQL: shut down by an administrator, another server process crashed,
// idle too long). psqlODBC may report the first as the failure of the first
// statement after a restart while it still answers that the connection lives.
bool EndedByTheServer(std::string_view state) {
  return state == "57P01" || state == "57P02" || state == "57P05";
}

// Seconds a statement may wait (for a lock, for the server) before it fails, for
// a driver that takes the time-out (WaitLimit says whether it did).
constexpr SQLULEN kQueryTimeoutSeconds = 30;

class OdbcSession : public DatabaseSession {
 public:
  OdbcSession(DriverManager& manager, const std::string& connection_string,
              std::string client_name);
  ~OdbcSession() override;

  std::string ClientName() const override { return client_name_; }
  StatementWaitLimit WaitLimit() const override {
    return {"query time-out", static_cast<int>(query_timeout_seconds_)};
  }

  ResultSet Run(const std::string& statement) override;
  std::vector<std::string> RowKey(const std::string& table) override;
  std::int64_t UpdateRow(const RowUpdate& update) override;
  void Commit() override;

 private:
  // A statement handle, freed at the end of the scope.
  class Statement {
   public:
    explicit Statement(OdbcSession& session);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    SQLHSTMT handle() const { return handle_; }
    // The query time-out the driver holds for this statement.
    SQLULEN QueryTimeout() const;

   private:
    const OdbcApi& api_;
    SQLHSTMT handle_ = SQL_NULL_HSTMT;
    SQLRETURN timeout_answer_ = SQL_ERROR;  // to setting the query time-out
  };

  // Raises the diagnostics of `handle` when `result` is a failure.
  void Check(SQLRETURN result, SQLSMALLINT handle_type, SQLHANDLE handle) const;
  // Raises the diagnostics of `handle`: ConnectionLost when the connection is
  // gone (see odbc_session.h), DatabaseFailure otherwise.
  [[noreturn]] void Raise(SQLSMALLINT handle_type, SQLHANDLE handle) const;
  // Whether the driver answers SQL_ATTR_CONNECTION_DEAD with "dead".
  bool DriverSaysDead() const;
  // The SQLSTATE of the first diagnostic of `handle`.
  std::string FirstState(SQLSMALLINT handle_type, SQLHANDLE handle) const;
  // The query time-out the driver holds for a new statement.
  SQLULEN ProbeQueryTimeout();
  void EndTransaction(SQLSMALLINT completion);
  // Runs `work`; on failure the transaction is rolled back before the failure
  // goes on.
  template <typename Work>
  auto InTransaction(Work work);

  ResultColumn DescribeColumn(SQLHSTMT statement, SQLUSMALLINT number, SQLSMALLINT& sql_type) const;
  std::string ColumnTable(SQLHSTMT statement, SQLUSMALLINT number) const;
  ColumnValue ReadValue(SQLHSTMT statement, SQLUSMALLINT number, SQLSMALLINT sql_type,
                        Kind kind) const;
  ColumnValue ReadConvertible(SQLHSTMT statement, SQLUSMALLINT number, SQLSMALLINT sql_type,
                              Kind kind) const;
  std::vector<std::string> PrimaryKey(const std::string& table);
  std::vector<std::string> UniqueKey(const std::string& table);
  std::vector<std::string> NotNullColumns(const std::string& table);
  std::optional<std::u16string> ReadText(SQLHSTMT statement, SQLUSMALLINT number) const;

  const OdbcApi& api_;
  SQLHDBC connection_ = SQL_NULL_HDBC;
  bool connected_ = false;
  std::string client_name_;
  SQLULEN query_timeout_seconds_ = 0;
};

OdbcSession::Statement::Statement(OdbcSession& session) : api_(session.api_) {
  session.Check(api_.AllocHandle(SQL_HANDLE_STMT, session.connection_, &handle_), SQL_HANDLE_DBC,
                session.connection_);
  timeout_answer_ = api_.SetStmtAttr(handle_, SQL_ATTR_QUERY_TIMEOUT,
                                     reinterpret_cast<SQLPOINTER>(kQueryTimeoutSeconds), 0);
}

// The answer to setting the time-out is not enough: a driver may keep 0 and
// answer SQL_SUCCESS_WITH_INFO (MariaDB's Connector/ODBC) or even SQL_SUCCESS
// (SQLite's), so the value is read back. Only a driver that cannot say is taken
// at its word, and then only for a plain success.
SQLULEN OdbcSession::Statement::QueryTimeout() const {
  SQLULEN held = 0;
  if (SQL_SUCCEEDED(
          api_.GetStmtAttr(handle_, SQL_ATTR_QUERY_TIMEOUT, &held, sizeof held, nullptr))) {
    return held;
  }
  return timeout_answer_ == SQL_SUCCESS ? kQueryTimeoutSeconds : 0;
}

OdbcSession::Statement::~Statement() {
  api_.FreeHandle(SQL_HANDLE_STMT, handle_);
}

OdbcSession::OdbcSession(DriverManager& manager, const std::string& connection_string,
                         std::string client_name)
    : api_(manager.api), client_name_(std::move(client_name)) {
  if (!SQL_SUCCEEDED(api_.AllocHandle(SQL_HANDLE_DBC, manager.environment, &connection_))) {
    throw DatabaseFailure("ODBC driver manager: cannot allocate a connection");
  }
  try {
    api_.SetConnectAttr(connection_, SQL_ATTR_AUTOCOMMIT,
                        reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
    api_.SetConnectAttr(connection_, SQL_ATTR_TXN_ISOLATION,
                        reinterpret_cast<SQLPOINTER>(SQL_TXN_READ_COMMITTED), 0);
    std::vector<SQLCHAR> text(connection_string.begin(), connection_string.end());
    text.push_back(0);
    SQLCHAR completed[1024];
    SQLSMALLINT completed_length = 0;
    const SQLRETURN result =
        api_.DriverConnect(connection_, nullptr, text.data(), SQL_NTS, completed, sizeof completed,
                           &completed_length, SQL_DRIVER_NOPROMPT);
    Check(result, SQL_HANDLE_DBC, connection_);
    connected_ = true;
  } catch (...) {
    api_.FreeHandle(SQL_HANDLE_DBC, connection_);
    throw;
  }
  query_timeout_seconds_ = ProbeQueryTimeout();
}

// Asked of a statement made the way every statement is. One that cannot be made
// now says nothing of the driver; the first real statement will say why.
SQLULEN OdbcSession::ProbeQueryTimeout() {
  try {
    return Statement(*this).QueryTimeout();
  } catch (const DatabaseFailure&) {
    return 0;
  }
}

OdbcSession::~OdbcSession() {
  api_.EndTran(SQL_HANDLE_DBC, connection_, SQL_ROLLBACK);
  api_.Disconnect(connection_);
  api_.FreeHandle(SQL_HANDLE_DBC, connection_);
}

void OdbcSession::Check(SQLRETURN result, SQLSMALLINT handle_type, SQLHANDLE handle) const {
  if (!SQL_SUCCEEDED(result)) Raise(handle_type, handle);
}

void OdbcSession::Raise(SQLSMALLINT handle_type, SQLHANDLE handle) const {
  std::string message;
  std::string first_state;
  for (SQLSMALLINT record = 1;; ++record) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR text[1024] = {};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(api_.GetDiagRec(handle_type, handle, record, state, &native, text,
                                       sizeof text, &length))) {
      break;
    }
    if (first_state.empty()) first_state = reinterpret_cast<const char*>(state);
    if (!message.empty()) message += " ";
    message += reinterpret_cast<const char*>(text);
  }
  if (message.empty()) message = "ODBC call failed without a diagnostic";
  if (first_state.starts_with("08") || EndedByTheServer(first_state) || DriverSaysDead()) {
    throw ConnectionLost(message);
  }
  throw DatabaseFailure(message);
}

// Asked after a failure, once the connection was made: the SQLSTATE alone does
// not always say that the connection is gone (psqlODBC reports a link that broke
// while it prepared an update as HY000). A driver that cannot answer leaves the
// decision to the SQLSTATE, whose signs also count when the driver answers that
// the connection lives.
bool OdbcSession::DriverSaysDead() const {
  if (!connected_) return false;
  SQLUINTEGER dead = SQL_CD_FALSE;
  const SQLRETURN answered =
      api_.GetConnectAttr(connection_, SQL_ATTR_CONNECTION_DEAD, &dead, sizeof dead, nullptr);
  return SQL_SUCCEEDED(answered) && dead == SQL_CD_TRUE;
}

std::string OdbcSession::FirstState(SQLSMALLINT handle_type, SQLHANDLE handle) const {
  SQLCHAR state[6] = {};
  SQLINTEGER native = 0;
  SQLCHAR text[8] = {};
  SQLSMALLINT length = 0;
  api_.GetDiagRec(handle_type, handle, 1, state, &native, text, sizeof text, &length);
  return reinterpret_cast<const char*>(state);
}

void OdbcSession::EndTransaction(SQLSMALLINT completion) {
  Check(api_.EndTran(SQL_HANDLE_DBC, connection_, completion), SQL_HANDLE_DBC, connection_);
}

template <typename Work>
auto OdbcSession::InTransaction(Work work) {
  try {
    return work();
  } catch (...) {
    api_.EndTran(SQL_HANDLE_DBC, connection_, SQL_ROLLBACK);
    throw;
  }
}

std::string OdbcSession::ColumnTable(SQLHSTMT statement, SQLUSMALLINT number) const {
  for (const SQLUSMALLINT field : {SQL_DESC_BASE_TABLE_NAME, SQL_DESC_TABLE_NAME}) {
    SQLCHAR name[256] = {};
    SQLSMALLINT length = 0;
    if (SQL_SUCCEEDED(
            api_.ColAttribute(statement, number, field, name, sizeof name, &length, nullptr)) &&
        name[0] != 0) {
      return reinterpret_cast<const char*>(name);
    }
  }
  return std::string();
}

ResultColumn OdbcSession::DescribeColumn(SQLHSTMT statement, SQLUSMALLINT number,
                                         SQLSMALLINT& sql_type) const {
  SQLCHAR name[256] = {};
  SQLSMALLINT name_length = 0;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
  SQLSMALLINT nullable = 0;
  Check(api_.DescribeCol(statement, number, name, sizeof name, &name_length, &sql_type, &size,
                         &digits, &nullable),
        SQL_HANDLE_STMT, statement);
  ResultColumn column;
  column.name = reinterpret_cast<const char*>(name);
  column.table = ColumnTable(statement, number);
  column.kind = KindOfSqlType(sql_type);
  column.unicode = IsUnicodeType(sql_type);
  return column;
}

std::optional<std::u16string> OdbcSession::ReadText(SQLHSTMT statement, SQLUSMALLINT number) const {
  std::u16string text;
  SQLWCHAR buffer[2048];
  constexpr auto kBufferBytes = static_cast<SQLLEN>(sizeof buffer);
  for (;;) {
    SQLLEN indicator = 0;
    const SQLRETURN result =
        api_.GetData(statement, number, SQL_C_WCHAR, buffer, kBufferBytes, &indicator);
    if (result == SQL_NO_DATA) break;
    Check(result, SQL_HANDLE_STMT, statement);
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    const bool truncated =
        result == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator >= kBufferBytes);
    const std::size_t characters =
        truncated ? std::size(buffer) - 1 : static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR);
    text.append(reinterpret_cast<const char16_t*>(buffer), characters);
    if (!truncated) break;
  }
  return text;
}

// A column the driver cannot convert (SQLSTATE class 07 or 22, or HYC00) reads as
// a value that fails when it is read; any other failure fails the statement.
ColumnValue OdbcSession::ReadValue(SQLHSTMT statement, SQLUSMALLINT number, SQLSMALLINT sql_type,
                                   Kind kind) const {
  try {
    return ReadConvertible(statement, number, sql_type, kind);
  } catch (const DatabaseFailure& failure) {
    const std::string state = FirstState(SQL_HANDLE_STMT, statement);
    if (!state.starts_with("07") && !state.starts_with("22") && state != "HYC00") throw;
    ColumnValue value;
    value.kind = Kind::kUnreadable;
    value.text = failure.what();
    return value;
  }
}

ColumnValue OdbcSession::ReadConvertible(SQLHSTMT statement, SQLUSMALLINT number,
                                         SQLSMALLINT sql_type, Kind kind) const {
  ColumnValue value;
  value.kind = kind;
  SQLLEN indicator = 0;
  auto get = [&](SQLSMALLINT c_type, void* target, SQLLEN size) {
    Check(api_.GetData(statement, number, c_type, target, size, &indicator), SQL_HANDLE_STMT,
          statement);
    value.null = indicator == SQL_NULL_DATA;
  };
  switch (kind) {
    case Kind::kInteger: {
      SQLBIGINT integer = 0;
      get(SQL_C_SBIGINT, &integer, sizeof integer);
      value.integer = integer;
      return value;
    }
    case Kind::kFixedPoint: {
      SQLCHAR text[128] = {};
      get(SQL_C_CHAR, text, sizeof text);
      if (value.null) return value;
      return DecimalValue(reinterpret_cast<const char*>(text));
    }
    case Kind::kFloat:
      get(SQL_C_DOUBLE, &value.number, sizeof value.number);
      return value;
    case Kind::kDate: {
      SQL_DATE_STRUCT date{};
      get(SQL_C_TYPE_DATE, &date, sizeof date);
      if (!value.null) value.moment = DateTime::FromCivil({date.year, date.month, date.day});
      return value;
    }
    case Kind::kTime: {
      if (sql_type == kSqlServerTime) {
        // Converted to a timestamp on the current date; only its time of day counts.
        SQL_TIMESTAMP_STRUCT moment{};
        get(SQL_C_TYPE_TIMESTAMP, &moment, sizeof moment);
        if (!value.null) {
          moment.year = 1899;
          moment.month = 12;
          moment.day = 30;
          value.moment = TimestampValue(moment);
        }
        return value;
      }
      SQL_TIME_STRUCT time{};
      get(SQL_C_TYPE_TIME, &time, sizeof time);
      if (!value.null) {
        value.moment = DateTime::FromCivil({1899, 12, 30, time.hour, time.minute, time.second, 0});
      }
      return value;
    }
    case Kind::kTimestamp: {
      SQL_TIMESTAMP_STRUCT moment{};
      get(SQL_C_TYPE_TIMESTAMP, &moment, sizeof moment);
      if (!value.null) value.moment = TimestampValue(moment);
      return value;
    }
    default: {
      const auto text = ReadText(statement, number);
      value.null = !text.has_value();
      if (text) value.text = Utf16ToUtf8(*text);
      return value;
    }
  }
}

ResultSet OdbcSession::Run(const std::string& statement_text) {
  return InTransaction([&] {
    ResultSet result;
    Statement statement(*this);
    const SQLHSTMT handle = statement.handle();
    std::vector<SQLCHAR> text(statement_text.begin(), statement_text.end());
    text.push_back(0);
    const SQLRETURN executed = api_.ExecDirect(handle, text.data(), SQL_NTS);
    if (executed != SQL_NO_DATA) Check(executed, SQL_HANDLE_STMT, handle);
    SQLSMALLINT count = 0;
    Check(api_.NumResultCols(handle, &count), SQL_HANDLE_STMT, handle);
    std::vector<SQLSMALLINT> sql_types(static_cast<std::size_t>(count));
    for (SQLSMALLINT i = 0; i < count; ++i) {
      result.columns.push_back(
          DescribeColumn(handle, static_cast<SQLUSMALLINT>(i + 1), sql_types[i]));
    }
    while (count > 0) {
      const SQLRETURN fetched = api_.Fetch(handle);
      if (fetched == SQL_NO_DATA) break;
      Check(fetched, SQL_HANDLE_STMT, handle);
      std::vector<ColumnValue> row;
      row.reserve(result.columns.size());
      for (SQLSMALLINT i = 0; i < count; ++i) {
        row.push_back(ReadValue(handle, static_cast<SQLUSMALLINT>(i + 1), sql_types[i],
                                result.columns[i].kind));
      }
      result.rows.push_back(std::move(row));
    }
    EndTransaction(SQL_COMMIT);
    return result;
  });
}

std::vector<std::string> OdbcSession::RowKey(const std::string& table) {
  std::vector<std::string> key = PrimaryKey(table);
  if (key.empty()) key = UniqueKey(table);
  return key;
}

std::vector<std::string> OdbcSession::NotNullColumns(const std::string& table) {
  return InTransaction([&] {
    std::vector<std::string> names;
    {
      Statement statement(*this);
      const SQLHSTMT handle = statement.handle();
      std::vector<SQLCHAR> name(table.begin(), table.end());
      name.push_back(0);
      Check(api_.Columns(handle, nullptr, 0, nullptr, 0, name.data(), SQL_NTS, nullptr, 0),
            SQL_HANDLE_STMT, handle);
      for (;;) {
        const SQLRETURN fetched = api_.Fetch(handle);
        if (fetched == SQL_NO_DATA) break;
        Check(fetched, SQL_HANDLE_STMT, handle);
        const auto column = ReadText(handle, 4);
        SQLSMALLINT nullable = SQL_NULLABLE_UNKNOWN;
        SQLLEN indicator = 0;
        Check(api_.GetData(handle, 11, SQL_C_SSHORT, &nullable, sizeof nullable, &indicator),
              SQL_HANDLE_STMT, handle);
        if (column && nullable == SQL_NO_NULLS) names.push_back(Utf16ToUtf8(*column));
      }
    }
    EndTransaction(SQL_COMMIT);
    return names;
  });
}

// The unique index of fewest columns, then by name, whose columns are all not null.
std::vector<std::string> OdbcSession::UniqueKey(const std::string& table) {
  const std::vector<std::string> not_null = NotNullColumns(table);
  struct Segment {
    std::string index;
    SQLSMALLINT position = 0;
    std::string column;
    bool operator<(const Segment& other) const {
      return std::tie(index, position) < std::tie(other.index, other.position);
    }
  };
  std::vector<Segment> segments = InTransaction([&] {
    std::vector<Segment> found;
    {
      Statement statement(*this);
      const SQLHSTMT handle = statement.handle();
      std::vector<SQLCHAR> name(table.begin(), table.end());
      name.push_back(0);
      Check(api_.Statistics(handle, nullptr, 0, nullptr, 0, name.data(), SQL_NTS, SQL_INDEX_UNIQUE,
                            SQL_QUICK),
            SQL_HANDLE_STMT, handle);
      for (;;) {
        const SQLRETURN fetched = api_.Fetch(handle);
        if (fetched == SQL_NO_DATA) break;
        Check(fetched, SQL_HANDLE_STMT, handle);
        SQLSMALLINT type = SQL_TABLE_STAT;
        SQLSMALLINT position = 0;
        SQLLEN indicator = 0;
        Check(api_.GetData(handle, 7, SQL_C_SSHORT, &type, sizeof type, &indicator),
              SQL_HANDLE_STMT, handle);
        if (type == SQL_TABLE_STAT) continue;
        const auto index = ReadText(handle, 6);
        Check(api_.GetData(handle, 8, SQL_C_SSHORT, &position, sizeof position, &indicator),
              SQL_HANDLE_STMT, handle);
        const auto column = ReadText(handle, 9);
        if (!index || !column) continue;
        found.push_back({Utf16ToUtf8(*index), position, Utf16ToUtf8(*column)});
      }
    }
    EndTransaction(SQL_COMMIT);
    return found;
  });
  std::sort(segments.begin(), segments.end());
  std::vector<std::string> best;
  for (std::size_t at = 0; at < segments.size();) {
    std::vector<std::string> columns;
    bool usable = true;
    const std::string& index = segments[at].index;
    for (; at < segments.size() && segments[at].index == index; ++at) {
      const std::string& column = segments[at].column;
      usable = usable && std::find(not_null.begin(), not_null.end(), column) != not_null.end();
      columns.push_back(column);
    }
    if (usable && (best.empty() || columns.size() < best.size())) best = std::move(columns);
  }
  return best;
}

std::vector<std::string> OdbcSession::PrimaryKey(const std::string& table) {
  return InTransaction([&] {
    std::vector<std::pair<SQLSMALLINT, std::string>> columns;
    {
      Statement statement(*this);
      const SQLHSTMT handle = statement.handle();
      std::vector<SQLCHAR> name(table.begin(), table.end());
      name.push_back(0);
      Check(api_.PrimaryKeys(handle, nullptr, 0, nullptr, 0, name.data(), SQL_NTS), SQL_HANDLE_STMT,
            handle);
      for (;;) {
        const SQLRETURN fetched = api_.Fetch(handle);
        if (fetched == SQL_NO_DATA) break;
        Check(fetched, SQL_HANDLE_STMT, handle);
        const auto column = ReadText(handle, 4);
        SQLSMALLINT sequence = 0;
        SQLLEN indicator = 0;
        Check(api_.GetData(handle, 5, SQL_C_SSHORT, &sequence, sizeof sequence, &indicator),
              SQL_HANDLE_STMT, handle);
        if (column) columns.emplace_back(sequence, Utf16ToUtf8(*column));
      }
    }
    EndTransaction(SQL_COMMIT);
    std::sort(columns.begin(), columns.end());
    std::vector<std::string> names;
    for (auto& [sequence, name] : columns) names.push_back(std::move(name));
    return names;
  });
}

std::int64_t OdbcSession::UpdateRow(const RowUpdate& update) {
  const std::string sql = UpdateStatementText(update);
  return InTransaction([&] {
    SQLLEN changed = 0;
    {
      Statement statement(*this);
      const SQLHSTMT handle = statement.handle();
      std::vector<SQLCHAR> text(sql.begin(), sql.end());
      text.push_back(0);
      Check(api_.Prepare(handle, text.data(), SQL_NTS), SQL_HANDLE_STMT, handle);
      std::vector<Parameter> parameters(update.changes.size() + update.key.size());
      for (std::size_t i = 0; i < parameters.size(); ++i) {
        const ColumnValue& value = i < update.changes.size()
                                       ? update.changes[i].value
                                       : update.key[i - update.changes.size()].value;
        Parameter& parameter = parameters[i];
        Fill(parameter, value);
        const SQLLEN buffer_length = parameter.c_type == SQL_C_WCHAR
                                         ? parameter.indicator
                                         : static_cast<SQLLEN>(parameter.characters.size());
        Check(api_.BindParameter(handle, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                                 parameter.c_type, parameter.sql_type, parameter.size,
                                 parameter.digits, parameter.Data(), buffer_length,
                                 &parameter.indicator),
              SQL_HANDLE_STMT, handle);
      }
      const SQLRETURN executed = api_.Execute(handle);
      if (executed != SQL_NO_DATA) {
        Check(executed, SQL_HANDLE_STMT, handle);
        Check(api_.RowCount(handle, &changed), SQL_HANDLE_STMT, handle);
      }
    }
    EndTransaction(UpdateCountAccepted(changed) ? SQL_COMMIT : SQL_ROLLBACK);
    return static_cast<std::int64_t>(changed);
  });
}

// Every call above ends its own transaction, so nothing is ever pending here: a
// commit on a link that just died must not turn a row already written into a
// failure.
void OdbcSession::Commit() {}

}  // namespace

std::unique_ptr<DatabaseSession> OpenOdbcSession(const ConnectionProfile& profile) {
  DriverManager& manager = TheDriverManager();
  const std::string connection_string = BuildOdbcConnectionString(profile, ChosenDriver(manager));
  return OpenOdbcSession(manager, connection_string,
                         "ODBC driver " + ChosenDriver(manager).value_or("(none)"));
}

std::unique_ptr<DatabaseSession> OpenOdbcSession(DriverManager& manager,
                                                 const std::string& connection_string,
                                                 std::string client_name) {
  return std::make_unique<OdbcSession>(manager, connection_string, std::move(client_name));
}

}  // namespace quorbin
