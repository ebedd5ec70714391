#include "store/odbc_session.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "platform/odbc_headers.h"
#include "platform/shared_library.h"
#include "store/odbc_connection_string.h"
#include "support/code_page.h"

namespace quorbin {
namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager must use UTF-16");

using Kind = ColumnValue::Kind;

// Seconds a statement may wait (for a lock, for the server) before it fails.
constexpr SQLULEN kQueryTimeoutSeconds = 30;
// SQL Server's time(n) and datetimeoffset(n) types.
constexpr SQLSMALLINT kSqlServerTime = -154;
constexpr SQLSMALLINT kSqlServerTimestampOffset = -155;

// The functions of the driver manager this client calls.
struct OdbcApi {
  decltype(&::SQLAllocHandle) AllocHandle = nullptr;
  decltype(&::SQLFreeHandle) FreeHandle = nullptr;
  decltype(&::SQLSetEnvAttr) SetEnvAttr = nullptr;
  decltype(&::SQLSetConnectAttr) SetConnectAttr = nullptr;
  decltype(&::SQLSetStmtAttr) SetStmtAttr = nullptr;
  decltype(&::SQLDrivers) Drivers = nullptr;
  decltype(&::SQLDriverConnect) DriverConnect = nullptr;
  decltype(&::SQLDisconnect) Disconnect = nullptr;
  decltype(&::SQLEndTran) EndTran = nullptr;
  decltype(&::SQLExecDirect) ExecDirect = nullptr;
  decltype(&::SQLPrepare) Prepare = nullptr;
  decltype(&::SQLBindParameter) BindParameter = nullptr;
  decltype(&::SQLExecute) Execute = nullptr;
  decltype(&::SQLRowCount) RowCount = nullptr;
  decltype(&::SQLNumResultCols) NumResultCols = nullptr;
  decltype(&::SQLDescribeCol) DescribeCol = nullptr;
  decltype(&::SQLColAttribute) ColAttribute = nullptr;
  decltype(&::SQLFetch) Fetch = nullptr;
  decltype(&::SQLGetData) GetData = nullptr;
  decltype(&::SQLPrimaryKeys) PrimaryKeys = nullptr;
  decltype(&::SQLGetDiagRec) GetDiagRec = nullptr;
};

struct DriverManager {
  std::unique_ptr<platform::SharedLibrary> library;
  OdbcApi api;
  SQLHENV environment = SQL_NULL_HENV;
  bool driver_chosen = false;
  std::optional<std::string> driver;
};

template <typename Function>
void Resolve(const platform::SharedLibrary& library, Function& function, const char* name) {
  void* address = library.Symbol(name);
  if (!address) throw Failure(std::string("ODBC driver manager lacks ") + name);
  function = reinterpret_cast<Function>(address);
}

OdbcApi ResolveApi(const platform::SharedLibrary& library) {
  OdbcApi api;
  Resolve(library, api.AllocHandle, "SQLAllocHandle");
  Resolve(library, api.FreeHandle, "SQLFreeHandle");
  Resolve(library, api.SetEnvAttr, "SQLSetEnvAttr");
  Resolve(library, api.SetConnectAttr, "SQLSetConnectAttr");
  Resolve(library, api.SetStmtAttr, "SQLSetStmtAttr");
  Resolve(library, api.Drivers, "SQLDrivers");
  Resolve(library, api.DriverConnect, "SQLDriverConnect");
  Resolve(library, api.Disconnect, "SQLDisconnect");
  Resolve(library, api.EndTran, "SQLEndTran");
  Resolve(library, api.ExecDirect, "SQLExecDirect");
  Resolve(library, api.Prepare, "SQLPrepare");
  Resolve(library, api.BindParameter, "SQLBindParameter");
  Resolve(library, api.Execute, "SQLExecute");
  Resolve(library, api.RowCount, "SQLRowCount");
  Resolve(library, api.NumResultCols, "SQLNumResultCols");
  Resolve(library, api.DescribeCol, "SQLDescribeCol");
  Resolve(library, api.ColAttribute, "SQLColAttribute");
  Resolve(library, api.Fetch, "SQLFetch");
  Resolve(library, api.GetData, "SQLGetData");
  Resolve(library, api.PrimaryKeys, "SQLPrimaryKeys");
  Resolve(library, api.GetDiagRec, "SQLGetDiagRec");
  return api;
}

std::unique_ptr<DriverManager>& LoadedDriverManager() {
  static std::unique_ptr<DriverManager> manager;
  return manager;
}

// Loaded at the first call; a failure to load is raised and tried again next time.
DriverManager& TheDriverManager() {
  auto& manager = LoadedDriverManager();
  if (manager) return *manager;
  std::string error;
  auto library = platform::LoadSharedLibrary(platform::OdbcDriverManagerNames(), error);
  if (!library) throw Failure("ODBC driver manager cannot be loaded: " + error);
  auto loaded = std::make_unique<DriverManager>();
  loaded->api = ResolveApi(*library);
  loaded->library = std::move(library);
  if (!SQL_SUCCEEDED(
          loaded->api.AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &loaded->environment))) {
    throw Failure("ODBC driver manager: cannot allocate an environment");
  }
  loaded->api.SetEnvAttr(loaded->environment, SQL_ATTR_ODBC_VERSION,
                         reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  manager = std::move(loaded);
  return *manager;
}

std::vector<std::string> InstalledDrivers(DriverManager& manager) {
  std::vector<std::string> names;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (;;) {
    SQLCHAR name[512];
    SQLCHAR attributes[2048];
    SQLSMALLINT name_length = 0;
    SQLSMALLINT attributes_length = 0;
    const SQLRETURN result =
        manager.api.Drivers(manager.environment, direction, name, sizeof name, &name_length,
                            attributes, sizeof attributes, &attributes_length);
    if (!SQL_SUCCEEDED(result)) break;
    names.emplace_back(reinterpret_cast<const char*>(name));
    direction = SQL_FETCH_NEXT;
  }
  return names;
}

const std::optional<std::string>& ChosenDriver(DriverManager& manager) {
  if (!manager.driver_chosen) {
    manager.driver = ChooseOdbcDriver(InstalledDrivers(manager));
    manager.driver_chosen = true;
  }
  return manager.driver;
}

std::u16string Utf16Of(const std::string& utf8) {
  return Utf8ToUtf16(utf8);
}

// A decimal number as the driver writes it ("-123.45") as a fixed-point value; a
// number with more digits than 64 bits hold becomes a floating one.
ColumnValue DecimalValue(std::string_view text) {
  ColumnValue value;
  std::string digits;
  int fraction_digits = 0;
  bool in_fraction = false;
  bool negative = false;
  for (const char c : text) {
    if (c == '-') {
      negative = true;
    } else if (c == '.') {
      in_fraction = true;
    } else if (c >= '0' && c <= '9') {
      digits += c;
      if (in_fraction) ++fraction_digits;
    }
  }
  const std::size_t significant =
      digits.size() - std::min(digits.size(), digits.find_first_not_of('0'));
  if (significant <= 18) {
    value.kind = Kind::kFixedPoint;
    std::int64_t magnitude = 0;
    for (const char c : digits) magnitude = magnitude * 10 + (c - '0');
    value.integer = negative ? -magnitude : magnitude;
    value.scale = -fraction_digits;
    return value;
  }
  value.kind = Kind::kFloat;
  std::from_chars(text.data(), text.data() + text.size(), value.number);
  return value;
}

Kind KindOfSqlType(SQLSMALLINT type) {
  switch (type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      return Kind::kInteger;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return Kind::kFixedPoint;
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return Kind::kFloat;
    case SQL_CHAR:
    case SQL_WCHAR:
      return Kind::kFixedText;
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return Kind::kDate;
    case SQL_TYPE_TIME:
    case SQL_TIME:
    case kSqlServerTime:
      return Kind::kTime;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
    case kSqlServerTimestampOffset:
      return Kind::kTimestamp;
    default:
      return Kind::kVariableText;
  }
}

bool IsUnicodeType(SQLSMALLINT type) {
  return type == SQL_WCHAR || type == SQL_WVARCHAR || type == SQL_WLONGVARCHAR;
}

int MillisecondsOf(SQLUINTEGER nanoseconds) {
  return std::min(999, static_cast<int>(std::lround(nanoseconds / 1e6)));
}

class OdbcSession : public DatabaseSession {
 public:
  OdbcSession(DriverManager& manager, const std::string& connection_string,
              std::string client_name);
  ~OdbcSession() override;

  std::string ClientName() const override { return client_name_; }

  ResultSet Run(const std::string& statement) override;
  std::vector<std::string> PrimaryKey(const std::string& table) override;
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

   private:
    const OdbcApi& api_;
    SQLHSTMT handle_ = SQL_NULL_HSTMT;
  };

  // Raises the diagnostics of `handle` when `result` is a failure.
  void Check(SQLRETURN result, SQLSMALLINT handle_type, SQLHANDLE handle) const;
  [[noreturn]] void Raise(SQLSMALLINT handle_type, SQLHANDLE handle) const;
  void EndTransaction(SQLSMALLINT completion);
  // Runs `work`; on failure the transaction is rolled back before the failure
  // goes on.
  template <typename Work>
  auto InTransaction(Work work);

  ResultColumn DescribeColumn(SQLHSTMT statement, SQLUSMALLINT number, SQLSMALLINT& sql_type) const;
  std::string ColumnTable(SQLHSTMT statement, SQLUSMALLINT number) const;
  ColumnValue ReadValue(SQLHSTMT statement, SQLUSMALLINT number, SQLSMALLINT sql_type,
                        Kind kind) const;
  std::optional<std::u16string> ReadText(SQLHSTMT statement, SQLUSMALLINT number) const;

  const OdbcApi& api_;
  SQLHDBC connection_ = SQL_NULL_HDBC;
  std::string client_name_;
};

OdbcSession::Statement::Statement(OdbcSession& session) : api_(session.api_) {
  session.Check(api_.AllocHandle(SQL_HANDLE_STMT, session.connection_, &handle_), SQL_HANDLE_DBC,
                session.connection_);
  api_.SetStmtAttr(handle_, SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(kQueryTimeoutSeconds), 0);
}

OdbcSession::Statement::~Statement() {
  api_.FreeHandle(SQL_HANDLE_STMT, handle_);
}

OdbcSession::OdbcSession(DriverManager& manager, const std::string& connection_string,
                         std::string client_name)
    : api_(manager.api), client_name_(std::move(client_name)) {
  if (!SQL_SUCCEEDED(api_.AllocHandle(SQL_HANDLE_DBC, manager.environment, &connection_))) {
    throw Failure("ODBC driver manager: cannot allocate a connection");
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
  } catch (...) {
    api_.FreeHandle(SQL_HANDLE_DBC, connection_);
    throw;
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
  // Class 08: the connection is gone.
  if (first_state.starts_with("08")) throw ConnectionLost(message);
  throw Failure(message);
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

ColumnValue OdbcSession::ReadValue(SQLHSTMT statement, SQLUSMALLINT number, SQLSMALLINT sql_type,
                                   Kind kind) const {
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
          value.moment = DateTime::FromCivil({1899, 12, 30, moment.hour, moment.minute,
                                              moment.second, MillisecondsOf(moment.fraction)});
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
      if (!value.null) {
        value.moment =
            DateTime::FromCivil({moment.year, moment.month, moment.day, moment.hour, moment.minute,
                                 moment.second, MillisecondsOf(moment.fraction)});
      }
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

// One bound parameter; its storage must stay in place until the statement ran.
struct Parameter {
  SQLSMALLINT c_type = SQL_C_CHAR;
  SQLSMALLINT sql_type = SQL_VARCHAR;
  SQLULEN size = 1;
  SQLSMALLINT digits = 0;
  SQLBIGINT integer = 0;
  double number = 0;
  std::u16string text;
  std::string characters;
  SQL_TIMESTAMP_STRUCT moment{};
  SQLLEN indicator = 0;

  SQLPOINTER Data() {
    switch (c_type) {
      case SQL_C_SBIGINT:
        return &integer;
      case SQL_C_DOUBLE:
        return &number;
      case SQL_C_WCHAR:
        return text.data();
      case SQL_C_TYPE_TIMESTAMP:
        return &moment;
      default:
        return characters.data();
    }
  }
};

void Fill(Parameter& parameter, const ColumnValue& value) {
  if (value.IsNull()) {
    parameter.indicator = SQL_NULL_DATA;
    return;
  }
  switch (value.kind) {
    case Kind::kInteger:
      parameter.c_type = SQL_C_SBIGINT;
      parameter.sql_type = SQL_BIGINT;
      parameter.integer = value.integer;
      return;
    case Kind::kFixedPoint: {
      // Decimal text with "." before the fraction, as ODBC writes numbers.
      std::string text = value.AsString();
      std::replace(text.begin(), text.end(), ',', '.');
      parameter.c_type = SQL_C_CHAR;
      parameter.sql_type = SQL_DECIMAL;
      parameter.size = std::max<SQLULEN>(1, text.size());
      parameter.digits = static_cast<SQLSMALLINT>(-value.scale);
      parameter.characters = text;
      parameter.indicator = static_cast<SQLLEN>(text.size());
      return;
    }
    case Kind::kFloat:
      parameter.c_type = SQL_C_DOUBLE;
      parameter.sql_type = SQL_DOUBLE;
      parameter.number = value.number;
      return;
    case Kind::kDate:
    case Kind::kTime:
    case Kind::kTimestamp: {
      const CivilTime civil = value.moment.ToCivil();
      parameter.c_type = SQL_C_TYPE_TIMESTAMP;
      parameter.sql_type = SQL_TYPE_TIMESTAMP;
      parameter.size = 23;
      parameter.digits = 3;
      parameter.moment =
          SQL_TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(civil.year),
                               static_cast<SQLUSMALLINT>(civil.month),
                               static_cast<SQLUSMALLINT>(civil.day),
                               static_cast<SQLUSMALLINT>(civil.hour),
                               static_cast<SQLUSMALLINT>(civil.minute),
                               static_cast<SQLUSMALLINT>(civil.second),
                               static_cast<SQLUINTEGER>(civil.millisecond) * 1'000'000u};
      return;
    }
    default: {
      parameter.c_type = SQL_C_WCHAR;
      parameter.text = Utf16Of(value.AsString());
      parameter.sql_type = parameter.text.size() > 4000 ? SQL_WLONGVARCHAR : SQL_WVARCHAR;
      parameter.size = std::max<SQLULEN>(1, parameter.text.size());
      parameter.indicator = static_cast<SQLLEN>(parameter.text.size() * sizeof(char16_t));
      return;
    }
  }
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
    EndTransaction(changed == 1 ? SQL_COMMIT : SQL_ROLLBACK);
    return static_cast<std::int64_t>(changed);
  });
}

void OdbcSession::Commit() {
  EndTransaction(SQL_COMMIT);
}

}  // namespace

std::unique_ptr<DatabaseSession> OpenOdbcSession(const ConnectionProfile& profile) {
  DriverManager& manager = TheDriverManager();
  const std::string connection_string = BuildOdbcConnectionString(profile, ChosenDriver(manager));
  return std::make_unique<OdbcSession>(manager, connection_string,
                                       "ODBC driver " + ChosenDriver(manager).value_or("(none)"));
}

void ResetOdbcForTesting() {
  auto& manager = LoadedDriverManager();
  if (!manager) return;
  manager->api.FreeHandle(SQL_HANDLE_ENV, manager->environment);
  manager.reset();
}

}  // namespace quorbin
