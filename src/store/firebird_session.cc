#include "store/firebird_session.h"

#include <string>
#include <vector>

#include "platform/drive_paths.h"
#include "platform/shared_library.h"
#include "platform/termination_signals.h"
#include "store/firebird_client_library.h"
#include "store/firebird_values.h"

namespace quorbin {
namespace {

// Read committed, seeing the latest committed versions, waiting a bounded time
// for locks.
std::vector<char> TransactionParameters() {
  const unsigned timeout = kFirebirdLockTimeoutSeconds;
  return {isc_tpb_version3,
          isc_tpb_write,
          isc_tpb_read_committed,
          isc_tpb_rec_version,
          isc_tpb_wait,
          isc_tpb_lock_timeout,
          4,
          static_cast<char>(timeout & 0xFF),
          static_cast<char>((timeout >> 8) & 0xFF),
          static_cast<char>((timeout >> 16) & 0xFF),
          static_cast<char>((timeout >> 24) & 0xFF)};
}

void AppendItem(std::vector<char>& block, char item, const std::string& text) {
  block.push_back(item);
  block.push_back(static_cast<char>(text.size()));
  block.insert(block.end(), text.begin(), text.end());
}

std::vector<char> AttachParameters(const ConnectionProfile& profile, bool has_own_providers) {
  std::vector<char> dpb{isc_dpb_version1};
  AppendItem(dpb, isc_dpb_user_name, profile.Get("User_Name"));
  AppendItem(dpb, isc_dpb_password, profile.Get("Password"));
  dpb.insert(dpb.end(), {isc_dpb_sql_dialect, 1, SQL_DIALECT_V6});
  // The target is always the server over TCP: keep a 3.0 or later client from
  // loading its embedded engine, whose teardown at process exit crashes. Older
  // clients have no such engine and would pass the item on to the server.
  if (has_own_providers) AppendItem(dpb, isc_dpb_config, "Providers=Remote");
  return dpb;
}

// The status vector of one call, raised when the call failed.
struct Status {
  ISC_STATUS_ARRAY vector = {};
  bool Failed() const { return vector[0] == 1 && vector[1] != 0; }
};

// A failed client call, raised out of the session's transaction boundary.
struct ClientError {
  std::vector<ISC_STATUS> status;
};

class FirebirdSession : public DatabaseSession {
 public:
  FirebirdSession(const FirebirdClient& client, isc_db_handle attachment)
      : client_(client), attachment_(attachment) {}
  ~FirebirdSession() override;

  ResultSet Run(const std::string& statement) override;
  std::vector<std::string> RowKey(const std::string& table) override;
  std::int64_t UpdateRow(const RowUpdate& update) override;
  void Commit() override {}
  // The file loaded; a process loads only libraries of its own width.
  std::string ClientName() const override {
    return "Firebird client " + client_.library_path + " (" +
           std::to_string(platform::kProcessBits) + "-bit)";
  }
  // A server that refused the parameter would fail every transaction.
  StatementWaitLimit WaitLimit() const override {
    return {"lock time-out", kFirebirdLockTimeoutSeconds};
  }

 private:
  // A prepared statement, dropped at the end of the scope.
  class Statement;

  // Raises a failed call as ClientError.
  void Check(const Status& status) const;
  // Runs `work` with a new transaction, commits when `work` says so (rolls back
  // otherwise, and whenever an exception leaves it) and turns the client's errors
  // into failures. A lost attachment is given up here and never used again.
  template <typename Work>
  auto InTransaction(Work work);

  ResultSet Select(isc_tr_handle& transaction, const std::string& sql,
                   const std::vector<ColumnAssignment>& parameters);
  std::string ReadBlob(isc_tr_handle& transaction, const ISC_QUAD& id);
  std::vector<std::string> UniqueKey(isc_tr_handle& transaction, const std::string& table,
                                     const std::string& sql);

  const FirebirdClient& client_;
  isc_db_handle attachment_;
  bool lost_ = false;
};

class FirebirdSession::Statement {
 public:
  Statement(FirebirdSession& session, isc_tr_handle& transaction, const std::string& sql)
      : session_(session) {
    Status status;
    session_.client_.allocate_statement(status.vector, &session_.attachment_, &handle_);
    session_.Check(status);
    session_.client_.prepare(status.vector, &transaction, &handle_, 0, sql.c_str(), SQL_DIALECT_V6,
                             nullptr);
    if (status.Failed()) {
      Status quiet;
      session_.client_.free_statement(quiet.vector, &handle_, DSQL_drop);
      session_.Check(status);
    }
  }
  ~Statement() {
    Status status;
    session_.client_.free_statement(status.vector, &handle_, DSQL_drop);
  }
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  isc_stmt_handle& handle() { return handle_; }

  // The value of information item `item` (a statement type, a row count).
  std::int64_t Info(char item, char sub_item = 0) {
    Status status;
    char request[] = {item};
    char buffer[128] = {};
    session_.client_.sql_info(status.vector, &handle_, sizeof request, request, sizeof buffer,
                              buffer);
    session_.Check(status);
    auto number = [&](int at, int length) {
      std::int64_t value = 0;
      for (int i = length - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(buffer[at + i]);
      }
      return value;
    };
    if (buffer[0] != item) return -1;
    const int length = static_cast<int>(number(1, 2));
    if (sub_item == 0) return number(3, length);
    // Counts: pairs of (kind, length, value) inside the item.
    for (int at = 3; at < 3 + length && buffer[at] != isc_info_end;) {
      const int value_length = static_cast<int>(number(at + 1, 2));
      if (buffer[at] == sub_item) return number(at + 3, value_length);
      at += 3 + value_length;
    }
    return 0;
  }

 private:
  FirebirdSession& session_;
  isc_stmt_handle handle_ = 0;
};

FirebirdSession::~FirebirdSession() {
  if (!attachment_) return;
  Status status;
  client_.detach_database(status.vector, &attachment_);
}

void FirebirdSession::Check(const Status& status) const {
  if (!status.Failed()) return;
  std::vector<ISC_STATUS> copy(std::begin(status.vector), std::end(status.vector));
  throw ClientError{std::move(copy)};
}

template <typename Work>
auto FirebirdSession::InTransaction(Work work) {
  if (lost_) throw ConnectionLost("Firebird connection lost");
  isc_tr_handle transaction = 0;
  try {
    const auto parameters = TransactionParameters();
    Status status;
    client_.start_transaction(status.vector, &transaction, 1, &attachment_,
                              static_cast<unsigned short>(parameters.size()), parameters.data());
    Check(status);
    bool keep = true;
    auto result = work(transaction, keep);
    if (keep) {
      client_.commit_transaction(status.vector, &transaction);
    } else {
      client_.rollback_transaction(status.vector, &transaction);
    }
    Check(status);
    return result;
  } catch (const ClientError& error) {
    if (SaysConnectionLost(error.status.data())) {
      lost_ = true;
    } else if (transaction) {
      Status quiet;
      client_.rollback_transaction(quiet.vector, &transaction);
    }
    RaiseFirebirdStatus(client_, error.status.data());
  } catch (...) {
    // Anything else that leaves the work (a value that cannot be converted, memory
    // running out) ends the transaction too: one left open would hold back the
    // server's garbage collection for as long as the attachment lives.
    if (transaction) {
      Status quiet;
      client_.rollback_transaction(quiet.vector, &transaction);
    }
    throw;
  }
}

std::string FirebirdSession::ReadBlob(isc_tr_handle& transaction, const ISC_QUAD& id) {
  isc_blob_handle blob = 0;
  ISC_QUAD blob_id = id;
  Status status;
  client_.open_blob(status.vector, &attachment_, &transaction, &blob, &blob_id, 0, nullptr);
  Check(status);
  std::string bytes;
  char segment[32768];
  for (;;) {
    unsigned short length = 0;
    const ISC_STATUS result =
        client_.get_segment(status.vector, &blob, &length, sizeof segment, segment);
    if (result != 0 && result != isc_segment) break;
    bytes.append(segment, length);
  }
  const bool ended = status.vector[1] == isc_segstr_eof;
  Status closing;
  client_.close_blob(closing.vector, &blob);
  if (!ended) Check(status);
  return bytes;
}

ResultSet FirebirdSession::Select(isc_tr_handle& transaction, const std::string& sql,
                                  const std::vector<ColumnAssignment>& parameters) {
  ResultSet result;
  Statement statement(*this, transaction, sql);
  const FirebirdParameters input(parameters);
  XSQLDA* in = parameters.empty() ? nullptr : input.sqlda();
  Status status;
  const std::int64_t type = statement.Info(isc_info_sql_stmt_type);
  if (type != isc_info_sql_stmt_select && type != isc_info_sql_stmt_select_for_upd) {
    client_.execute(status.vector, &transaction, &statement.handle(), SQL_DIALECT_V6, in);
    Check(status);
    return result;
  }
  Sqlda out(1);
  client_.describe(status.vector, &statement.handle(), SQL_DIALECT_V6, out.get());
  Check(status);
  const short count = out.get()->sqld;
  if (count > out.get()->sqln) {
    out = Sqlda(count);
    client_.describe(status.vector, &statement.handle(), SQL_DIALECT_V6, out.get());
    Check(status);
  }
  std::vector<FirebirdColumn> columns;
  columns.reserve(static_cast<std::size_t>(count));
  for (short i = 0; i < count; ++i) {
    columns.emplace_back(out.var(i));
    result.columns.push_back(columns.back().description());
  }
  client_.execute(status.vector, &transaction, &statement.handle(), SQL_DIALECT_V6, in);
  Check(status);
  const BlobReader read_blob = [&](const ISC_QUAD& id) { return ReadBlob(transaction, id); };
  for (;;) {
    const ISC_STATUS fetched =
        client_.fetch(status.vector, &statement.handle(), SQL_DIALECT_V6, out.get());
    if (fetched == 100) break;
    Check(status);
    std::vector<ColumnValue> row;
    row.reserve(columns.size());
    for (const FirebirdColumn& column : columns) row.push_back(column.Read(read_blob));
    result.rows.push_back(std::move(row));
  }
  return result;
}

ResultSet FirebirdSession::Run(const std::string& statement) {
  return InTransaction(
      [&](isc_tr_handle& transaction, bool&) { return Select(transaction, statement, {}); });
}

ColumnAssignment NameParameter(const std::string& name) {
  ColumnAssignment parameter;
  parameter.column.unicode = true;
  parameter.value.kind = ColumnValue::Kind::kVariableText;
  parameter.value.text = name;
  return parameter;
}

std::vector<std::string> FirebirdSession::UniqueKey(isc_tr_handle& transaction,
                                                    const std::string& table,
                                                    const std::string& sql) {
  const ResultSet result = Select(transaction, sql, {NameParameter(table)});
  std::vector<std::string> columns;
  std::string index;
  for (const auto& row : result.rows) {
    const std::string row_index = row[0].AsString();
    if (!index.empty() && row_index != index) break;
    index = row_index;
    columns.push_back(row[1].AsString());
  }
  return columns;
}

std::vector<std::string> FirebirdSession::RowKey(const std::string& table) {
  static const std::string kPrimaryKey =
      "SELECT s.RDB$INDEX_NAME, s.RDB$FIELD_NAME FROM RDB$RELATION_CONSTRAINTS c "
      "JOIN RDB$INDEX_SEGMENTS s ON s.RDB$INDEX_NAME = c.RDB$INDEX_NAME "
      "WHERE c.RDB$CONSTRAINT_TYPE = 'PRIMARY KEY' AND c.RDB$RELATION_NAME = ? "
      "ORDER BY s.RDB$FIELD_POSITION";
  // Active unique indices (those of unique constraints among them) made of
  // columns alone, every one of them declared (or by its domain) not null.
  static const std::string kUniqueKey =
      "SELECT s.RDB$INDEX_NAME, s.RDB$FIELD_NAME FROM RDB$INDICES i "
      "JOIN RDB$INDEX_SEGMENTS s ON s.RDB$INDEX_NAME = i.RDB$INDEX_NAME "
      "WHERE i.RDB$RELATION_NAME = ? AND i.RDB$UNIQUE_FLAG = 1 "
      "AND COALESCE(i.RDB$INDEX_INACTIVE, 0) = 0 AND i.RDB$EXPRESSION_BLR IS NULL "
      "AND NOT EXISTS (SELECT 1 FROM RDB$INDEX_SEGMENTS n "
      "JOIN RDB$RELATION_FIELDS r ON r.RDB$RELATION_NAME = i.RDB$RELATION_NAME "
      "AND r.RDB$FIELD_NAME = n.RDB$FIELD_NAME "
      "JOIN RDB$FIELDS f ON f.RDB$FIELD_NAME = r.RDB$FIELD_SOURCE "
      "WHERE n.RDB$INDEX_NAME = i.RDB$INDEX_NAME "
      "AND COALESCE(r.RDB$NULL_FLAG, f.RDB$NULL_FLAG, 0) = 0) "
      "ORDER BY i.RDB$SEGMENT_COUNT, i.RDB$INDEX_NAME, s.RDB$FIELD_POSITION";
  return InTransaction([&](isc_tr_handle& transaction, bool&) {
    std::vector<std::string> key = UniqueKey(transaction, table, kPrimaryKey);
    if (key.empty()) key = UniqueKey(transaction, table, kUniqueKey);
    return key;
  });
}

std::int64_t FirebirdSession::UpdateRow(const RowUpdate& update) {
  const std::string sql = UpdateStatementText(update);
  std::vector<ColumnAssignment> values = update.changes;
  values.insert(values.end(), update.key.begin(), update.key.end());
  return InTransaction([&](isc_tr_handle& transaction, bool& keep) {
    Statement statement(*this, transaction, sql);
    const FirebirdParameters input(values);
    Status status;
    client_.execute(status.vector, &transaction, &statement.handle(), SQL_DIALECT_V6,
                    input.sqlda());
    Check(status);
    const std::int64_t changed = statement.Info(isc_info_sql_records, isc_info_req_update_count);
    keep = UpdateCountAccepted(changed);
    return changed;
  });
}

}  // namespace

std::string FirebirdAttachTarget(const ConnectionProfile& profile) {
  return profile.Get("Server") + ":" + platform::ResolveDrivePath(profile.Get("Database")).string();
}

std::unique_ptr<DatabaseSession> OpenFirebirdSession(const ConnectionProfile& profile) {
  const FirebirdClient& client = TheFirebirdClient();
  // The client takes SIGINT and SIGTERM over when it first connects; the agent
  // ends through its own event loop.
  struct Reclaim {
    ~Reclaim() { platform::ReclaimTerminationSignals(); }
  } reclaim;
  const std::vector<char> dpb = AttachParameters(profile, client.has_own_providers);
  const std::string target = FirebirdAttachTarget(profile);
  Status status;
  isc_db_handle attachment = 0;
  client.attach_database(status.vector, 0, target.c_str(), &attachment,
                         static_cast<short>(dpb.size()), dpb.data());
  if (status.Failed()) throw DatabaseFailure(FirebirdMessage(client, status.vector));
  return std::make_unique<FirebirdSession>(client, attachment);
}

}  // namespace quorbin
