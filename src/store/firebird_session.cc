#include "store/firebird_session.h"

#include <firebird/Interface.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/drive_paths.h"
#include "platform/shared_library.h"
#include "platform/termination_signals.h"
#include "support/code_page.h"

namespace quorbin {
namespace {

using Firebird::CheckStatusWrapper;
using Firebird::FbException;
using Firebird::IAttachment;
using Firebird::IBlob;
using Firebird::IMaster;
using Firebird::IMessageMetadata;
using Firebird::IMetadataBuilder;
using Firebird::IResultSet;
using Firebird::IStatement;
using Firebird::IStatus;
using Firebird::ITransaction;
using Firebird::ThrowStatusWrapper;
using Kind = ColumnValue::Kind;

// Days from 1858-11-17, where Firebird counts dates from, to 1899-12-30.
constexpr std::int64_t kFirebirdDateOffset = 15'018;
// Firebird times count units of 1/10,000 s.
constexpr std::int64_t kTimeUnitsPerMs = 10;
// Character sets whose data is Unicode (UNICODE_FSS, UTF8).
constexpr unsigned kUnicodeFss = 3;
constexpr unsigned kUtf8 = 4;
constexpr unsigned kCharsetNone = 0;

IMaster* loaded_master = nullptr;
std::string loaded_library;

// The client's threads must stop before the process tears its libraries down,
// or the client's own exit handlers crash: shut it down first, at exit.
void ShutDownClient() {
  CheckStatusWrapper status(loaded_master->getStatus());
  Firebird::IProvider* dispatcher = loaded_master->getDispatcher();
  dispatcher->shutdown(&status, 0, fb_shutrsn_app_stopped);
  dispatcher->release();
  status.dispose();
}

IMaster* TheMaster() {
  if (loaded_master) return loaded_master;
  std::string error;
  auto loaded =
      platform::LoadSharedLibrary(platform::FirebirdClientNames(), error, &loaded_library);
  if (!loaded) throw Failure("Firebird client library cannot be loaded: " + error);
  using GetMaster = IMaster* (*)();
  auto get_master = reinterpret_cast<GetMaster>(loaded->Symbol("fb_get_master_interface"));
  if (!get_master) throw Failure("Firebird client library lacks fb_get_master_interface");
  loaded_master = get_master();
  // The library stays loaded for the life of the process: unloading it while
  // its threads run is what crashes.
  static platform::SharedLibrary* const kept = loaded.release();
  static_cast<void>(kept);
  std::atexit(ShutDownClient);
  return loaded_master;
}

// Holds one reference to an interface of the object API.
template <typename Interface>
class Ref {
 public:
  explicit Ref(Interface* pointer = nullptr) : pointer_(pointer) {}
  ~Ref() { reset(); }
  Ref(Ref&& other) noexcept : pointer_(other.pointer_) { other.pointer_ = nullptr; }
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  Interface* operator->() const { return pointer_; }
  Interface* get() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // For calls that end the object themselves when they succeed (commit, close).
  void forget() { pointer_ = nullptr; }
  void reset(Interface* pointer = nullptr) {
    if (pointer_) pointer_->release();
    pointer_ = pointer;
  }

 private:
  Interface* pointer_;
};

// A status vector of the client, disposed at the end of the scope.
class Status {
 public:
  Status() : status_(TheMaster()->getStatus()), wrapper_(status_), quiet_(status_) {}
  ~Status() { status_->dispose(); }
  Status(const Status&) = delete;
  Status& operator=(const Status&) = delete;
  // Calls through this raise FbException on failure.
  ThrowStatusWrapper* operator&() { return &wrapper_; }
  // Calls through this record a failure only; use one or the other per Status.
  CheckStatusWrapper* quiet() { return &quiet_; }
  bool QuietFailed() { return (quiet_.getState() & IStatus::STATE_ERRORS) != 0; }

 private:
  IStatus* status_;
  ThrowStatusWrapper wrapper_;
  CheckStatusWrapper quiet_;
};

bool IsConnectionLostCode(intptr_t code) {
  switch (code) {
    case isc_network_error:
    case isc_net_read_err:
    case isc_net_write_err:
    case isc_lost_db_connection:
    case isc_conn_lost:
    case isc_att_shutdown:
    case isc_shutdown:
    case isc_bad_db_handle:
      return true;
    default:
      return false;
  }
}

bool SaysConnectionLost(const intptr_t* vector) {
  for (const intptr_t* item = vector; item && *item != isc_arg_end;) {
    const intptr_t type = *item++;
    if (type == isc_arg_cstring) {
      item += 2;
      continue;
    }
    const intptr_t value = *item++;
    if (type == isc_arg_gds && IsConnectionLostCode(value)) return true;
  }
  return false;
}

// The client's message on one line.
std::string MessageOf(IStatus* status) {
  char buffer[2048] = {};
  TheMaster()->getUtilInterface()->formatStatus(buffer, sizeof buffer - 1, status);
  std::string message;
  for (std::string_view rest(buffer); !rest.empty();) {
    std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (line.starts_with('-')) line.remove_prefix(1);
    if (line.empty()) continue;
    if (!message.empty()) message += " ";
    message += line;
  }
  return message.empty() ? "Firebird call failed" : message;
}

[[noreturn]] void RaiseFrom(const FbException& error) {
  IStatus* status = error.getStatus();
  if (SaysConnectionLost(status->getErrors())) throw ConnectionLost(MessageOf(status));
  throw Failure(MessageOf(status));
}

// Text of a column's bytes in character set `charset`.
std::string DecodeText(std::string_view bytes, unsigned charset) {
  const unsigned id = charset & 0xFF;
  if (id == kUtf8 || id == kUnicodeFss) return std::string(bytes);
  return AnsiToUtf8(bytes);
}

// Read committed, seeing the latest committed versions, waiting a bounded time
// for locks.
std::vector<unsigned char> TransactionParameters() {
  const unsigned timeout = kFirebirdLockTimeoutSeconds;
  return {isc_tpb_version3,
          isc_tpb_write,
          isc_tpb_read_committed,
          isc_tpb_rec_version,
          isc_tpb_wait,
          isc_tpb_lock_timeout,
          4,
          static_cast<unsigned char>(timeout & 0xFF),
          static_cast<unsigned char>((timeout >> 8) & 0xFF),
          static_cast<unsigned char>((timeout >> 16) & 0xFF),
          static_cast<unsigned char>((timeout >> 24) & 0xFF)};
}

template <typename T>
T ReadAs(const unsigned char* at) {
  T value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <typename T>
void WriteAs(unsigned char* at, T value) {
  std::memcpy(at, &value, sizeof value);
}

DateTime DateOf(ISC_DATE date) {
  return DateTime{(static_cast<std::int64_t>(date) - kFirebirdDateOffset) * DateTime::kMsPerDay};
}

DateTime TimeOf(ISC_TIME time) {
  return DateTime{static_cast<std::int64_t>(time) / kTimeUnitsPerMs};
}

// An input message for parameters: its layout and its buffer.
struct InputMessage {
  Ref<IMessageMetadata> metadata;
  std::vector<unsigned char> buffer;
};

class FirebirdSession : public DatabaseSession {
 public:
  explicit FirebirdSession(IAttachment* attachment) : attachment_(attachment) {}
  ~FirebirdSession() override;

  ResultSet Run(const std::string& statement) override;
  std::vector<std::string> PrimaryKey(const std::string& table) override;
  std::int64_t UpdateRow(const RowUpdate& update) override;
  void Commit() override {}
  std::string ClientName() const override { return "Firebird client " + loaded_library; }

 private:
  // Runs `work` with a new transaction, commits when `work` says so (rolls back
  // otherwise) and turns the client's errors into failures. A lost attachment is
  // dropped here: released, not detached.
  template <typename Work>
  auto InTransaction(Work work);

  ResultSet Select(Status& status, ITransaction* transaction, const std::string& sql,
                   InputMessage* input);
  ColumnValue ReadValue(Status& status, ITransaction* transaction, IMessageMetadata* metadata,
                        unsigned index, const unsigned char* row);
  std::string ReadBlob(Status& status, ITransaction* transaction, ISC_QUAD id);
  InputMessage BuildInput(Status& status, const std::vector<ColumnAssignment>& values);

  IAttachment* attachment_;
  bool lost_ = false;
};

FirebirdSession::~FirebirdSession() {
  if (!attachment_) return;
  if (!lost_) {
    Status status;
    attachment_->detach(status.quiet());
    if (!status.QuietFailed()) return;
  }
  attachment_->release();
}

template <typename Work>
auto FirebirdSession::InTransaction(Work work) {
  if (lost_) throw ConnectionLost("Firebird connection lost");
  Status status;
  Ref<ITransaction> transaction;
  try {
    const auto parameters = TransactionParameters();
    transaction.reset(attachment_->startTransaction(
        &status, static_cast<unsigned>(parameters.size()), parameters.data()));
    bool keep = true;
    auto result = work(status, transaction.get(), keep);
    if (keep) {
      transaction->commit(&status);
    } else {
      transaction->rollback(&status);
    }
    transaction.forget();
    return result;
  } catch (const FbException& error) {
    if (SaysConnectionLost(error.getStatus()->getErrors())) {
      lost_ = true;
    } else if (transaction) {
      Status quiet;
      transaction->rollback(quiet.quiet());
      if (!quiet.QuietFailed()) transaction.forget();
    }
    RaiseFrom(error);
  }
}

std::string FirebirdSession::ReadBlob(Status& status, ITransaction* transaction, ISC_QUAD id) {
  Ref<IBlob> blob(attachment_->openBlob(&status, transaction, &id, 0, nullptr));
  std::string bytes;
  char segment[32768];
  for (;;) {
    unsigned length = 0;
    const int result = blob->getSegment(&status, sizeof segment, segment, &length);
    if (result != IStatus::RESULT_OK && result != IStatus::RESULT_SEGMENT) break;
    bytes.append(segment, length);
  }
  blob->close(&status);
  blob.forget();
  return bytes;
}

ColumnValue FirebirdSession::ReadValue(Status& status, ITransaction* transaction,
                                       IMessageMetadata* metadata, unsigned index,
                                       const unsigned char* row) {
  ColumnValue value;
  const unsigned type = metadata->getType(&status, index) & ~1u;
  const int scale = metadata->getScale(&status, index);
  const unsigned charset = metadata->getCharSet(&status, index);
  const unsigned char* data = row + metadata->getOffset(&status, index);
  value.null = ReadAs<ISC_SHORT>(row + metadata->getNullOffset(&status, index)) != 0;
  auto integer = [&](std::int64_t number) {
    value.kind = scale < 0 ? Kind::kFixedPoint : Kind::kInteger;
    value.integer = number;
    value.scale = scale < 0 ? scale : 0;
    for (int i = 0; i < scale; ++i) value.integer *= 10;
  };
  switch (type) {
    case SQL_TEXT:
      value.kind = Kind::kFixedText;
      if (!value.null) {
        const unsigned length = metadata->getLength(&status, index);
        value.text =
            DecodeText(std::string_view(reinterpret_cast<const char*>(data), length), charset);
      }
      break;
    case SQL_VARYING:
      value.kind = Kind::kVariableText;
      if (!value.null) {
        const auto length = ReadAs<ISC_USHORT>(data);
        value.text = DecodeText(
            std::string_view(reinterpret_cast<const char*>(data + sizeof(ISC_USHORT)), length),
            charset);
      }
      break;
    case SQL_SHORT:
      integer(ReadAs<ISC_SHORT>(data));
      break;
    case SQL_LONG:
      integer(ReadAs<ISC_LONG>(data));
      break;
    case SQL_INT64:
      integer(ReadAs<ISC_INT64>(data));
      break;
    case SQL_BOOLEAN:
      value.kind = Kind::kInteger;
      value.integer = ReadAs<FB_BOOLEAN>(data) ? 1 : 0;
      break;
    case SQL_FLOAT:
      value.kind = Kind::kFloat;
      value.number = ReadAs<float>(data);
      break;
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
      value.kind = Kind::kFloat;
      value.number = ReadAs<double>(data);
      break;
    case SQL_TYPE_DATE:
      value.kind = Kind::kDate;
      value.moment = DateOf(ReadAs<ISC_DATE>(data));
      break;
    case SQL_TYPE_TIME:
      value.kind = Kind::kTime;
      value.moment = TimeOf(ReadAs<ISC_TIME>(data));
      break;
    case SQL_TIMESTAMP: {
      value.kind = Kind::kTimestamp;
      const auto stamp = ReadAs<ISC_TIMESTAMP>(data);
      value.moment = DateTime{DateOf(stamp.timestamp_date).ms + TimeOf(stamp.timestamp_time).ms};
      break;
    }
    case SQL_BLOB:
      value.kind = Kind::kVariableText;
      if (!value.null) {
        value.text = DecodeText(ReadBlob(status, transaction, ReadAs<ISC_QUAD>(data)), charset);
      }
      break;
    case SQL_NULL:
      value.kind = Kind::kNull;
      break;
    default:
      throw Failure("Column type " + std::to_string(type) + " is not supported");
  }
  if (value.null) value.integer = 0;
  return value;
}

ResultSet FirebirdSession::Select(Status& status, ITransaction* transaction, const std::string& sql,
                                  InputMessage* input) {
  ResultSet result;
  Ref<IStatement> statement(
      attachment_->prepare(&status, transaction, static_cast<unsigned>(sql.size()), sql.c_str(),
                           SQL_DIALECT_V6, IStatement::PREPARE_PREFETCH_METADATA));
  IMessageMetadata* in_metadata = input ? input->metadata.get() : nullptr;
  void* in_buffer = input ? input->buffer.data() : nullptr;
  if (!(statement->getFlags(&status) & IStatement::FLAG_HAS_CURSOR)) {
    statement->execute(&status, transaction, in_metadata, in_buffer, nullptr, nullptr);
    return result;
  }
  Ref<IMessageMetadata> metadata(statement->getOutputMetadata(&status));
  const unsigned count = metadata->getCount(&status);
  for (unsigned i = 0; i < count; ++i) {
    ResultColumn column;
    column.name = metadata->getAlias(&status, i);
    column.table = metadata->getRelation(&status, i);
    const unsigned type = metadata->getType(&status, i) & ~1u;
    const unsigned charset = metadata->getCharSet(&status, i) & 0xFF;
    column.unicode = charset == kUtf8 || charset == kUnicodeFss;
    const int scale = metadata->getScale(&status, i);
    switch (type) {
      case SQL_TEXT:
        column.kind = Kind::kFixedText;
        break;
      case SQL_SHORT:
      case SQL_LONG:
      case SQL_INT64:
        column.kind = scale < 0 ? Kind::kFixedPoint : Kind::kInteger;
        break;
      case SQL_BOOLEAN:
        column.kind = Kind::kInteger;
        break;
      case SQL_FLOAT:
      case SQL_DOUBLE:
      case SQL_D_FLOAT:
        column.kind = Kind::kFloat;
        break;
      case SQL_TYPE_DATE:
        column.kind = Kind::kDate;
        break;
      case SQL_TYPE_TIME:
        column.kind = Kind::kTime;
        break;
      case SQL_TIMESTAMP:
        column.kind = Kind::kTimestamp;
        break;
      case SQL_NULL:
        column.kind = Kind::kNull;
        break;
      default:
        column.kind = Kind::kVariableText;
    }
    result.columns.push_back(std::move(column));
  }
  Ref<IResultSet> cursor(
      statement->openCursor(&status, transaction, in_metadata, in_buffer, metadata.get(), 0));
  std::vector<unsigned char> row(metadata->getMessageLength(&status));
  while (cursor->fetchNext(&status, row.data()) == IStatus::RESULT_OK) {
    std::vector<ColumnValue> values;
    values.reserve(count);
    for (unsigned i = 0; i < count; ++i) {
      values.push_back(ReadValue(status, transaction, metadata.get(), i, row.data()));
    }
    result.rows.push_back(std::move(values));
  }
  cursor->close(&status);
  cursor.forget();
  statement->free(&status);
  statement.forget();
  return result;
}

ResultSet FirebirdSession::Run(const std::string& statement) {
  return InTransaction([&](Status& status, ITransaction* transaction, bool&) {
    return Select(status, transaction, statement, nullptr);
  });
}

InputMessage FirebirdSession::BuildInput(Status& status,
                                         const std::vector<ColumnAssignment>& values) {
  const auto count = static_cast<unsigned>(values.size());
  Ref<IMetadataBuilder> builder(TheMaster()->getMetadataBuilder(&status, count));
  std::vector<std::string> texts(count);
  for (unsigned i = 0; i < count; ++i) {
    const ColumnValue& value = values[i].value;
    // The low bit marks a parameter that may be NULL.
    auto set = [&](unsigned type, unsigned length) {
      builder->setType(&status, i, type | 1u);
      builder->setLength(&status, i, length);
    };
    switch (value.IsNull() ? Kind::kNull : value.kind) {
      case Kind::kInteger:
        set(SQL_INT64, sizeof(ISC_INT64));
        builder->setScale(&status, i, 0);
        break;
      case Kind::kFixedPoint:
        set(SQL_INT64, sizeof(ISC_INT64));
        builder->setScale(&status, i, value.scale);
        break;
      case Kind::kFloat:
        set(SQL_DOUBLE, sizeof(double));
        break;
      case Kind::kDate:
      case Kind::kTime:
      case Kind::kTimestamp:
        set(SQL_TIMESTAMP, sizeof(ISC_TIMESTAMP));
        break;
      default: {
        // Single-byte columns take the ANSI code page; Unicode ones UTF-8. Sent
        // without a character set, the bytes are stored as they are.
        const std::string text = value.AsString();
        texts[i] = values[i].column.unicode ? text : Utf8ToAnsi(text);
        set(SQL_VARYING, static_cast<unsigned>(std::max<std::size_t>(1, texts[i].size())));
        builder->setCharSet(&status, i, values[i].column.unicode ? kUtf8 : kCharsetNone);
        break;
      }
    }
  }
  InputMessage input;
  input.metadata.reset(builder->getMetadata(&status));
  input.buffer.assign(input.metadata->getMessageLength(&status), 0);
  for (unsigned i = 0; i < count; ++i) {
    const ColumnValue& value = values[i].value;
    unsigned char* data = input.buffer.data() + input.metadata->getOffset(&status, i);
    unsigned char* null = input.buffer.data() + input.metadata->getNullOffset(&status, i);
    WriteAs<ISC_SHORT>(null, value.IsNull() ? -1 : 0);
    if (value.IsNull()) continue;
    switch (value.kind) {
      case Kind::kInteger:
      case Kind::kFixedPoint:
        WriteAs<ISC_INT64>(data, value.integer);
        break;
      case Kind::kFloat:
        WriteAs<double>(data, value.number);
        break;
      case Kind::kDate:
      case Kind::kTime:
      case Kind::kTimestamp: {
        const std::int64_t days =
            value.moment.ms >= 0
                ? value.moment.ms / DateTime::kMsPerDay
                : -((-value.moment.ms + DateTime::kMsPerDay - 1) / DateTime::kMsPerDay);
        const std::int64_t ms = value.moment.ms - days * DateTime::kMsPerDay;
        ISC_TIMESTAMP stamp;
        stamp.timestamp_date = static_cast<ISC_DATE>(days + kFirebirdDateOffset);
        stamp.timestamp_time = static_cast<ISC_TIME>(ms * kTimeUnitsPerMs);
        WriteAs(data, stamp);
        break;
      }
      default:
        WriteAs<ISC_USHORT>(data, static_cast<ISC_USHORT>(texts[i].size()));
        std::memcpy(data + sizeof(ISC_USHORT), texts[i].data(), texts[i].size());
        break;
    }
  }
  return input;
}

std::vector<std::string> FirebirdSession::PrimaryKey(const std::string& table) {
  static const std::string kSql =
      "SELECT s.RDB$FIELD_NAME FROM RDB$RELATION_CONSTRAINTS c "
      "JOIN RDB$INDEX_SEGMENTS s ON s.RDB$INDEX_NAME = c.RDB$INDEX_NAME "
      "WHERE c.RDB$CONSTRAINT_TYPE = 'PRIMARY KEY' AND c.RDB$RELATION_NAME = ? "
      "ORDER BY s.RDB$FIELD_POSITION";
  return InTransaction([&](Status& status, ITransaction* transaction, bool&) {
    ColumnAssignment name;
    name.column.unicode = true;
    name.value.kind = Kind::kVariableText;
    name.value.text = table;
    InputMessage input = BuildInput(status, {name});
    const ResultSet result = Select(status, transaction, kSql, &input);
    std::vector<std::string> columns;
    for (const auto& row : result.rows) columns.push_back(row[0].AsString());
    return columns;
  });
}

std::int64_t FirebirdSession::UpdateRow(const RowUpdate& update) {
  const std::string sql = UpdateStatementText(update);
  std::vector<ColumnAssignment> values = update.changes;
  values.insert(values.end(), update.key.begin(), update.key.end());
  return InTransaction([&](Status& status, ITransaction* transaction, bool& keep) {
    InputMessage input = BuildInput(status, values);
    Ref<IStatement> statement(attachment_->prepare(
        &status, transaction, static_cast<unsigned>(sql.size()), sql.c_str(), SQL_DIALECT_V6, 0));
    statement->execute(&status, transaction, input.metadata.get(), input.buffer.data(), nullptr,
                       nullptr);
    const auto changed = static_cast<std::int64_t>(statement->getAffectedRecords(&status));
    statement->free(&status);
    statement.forget();
    keep = changed == 1;
    return changed;
  });
}

}  // namespace

std::string FirebirdAttachTarget(const ConnectionProfile& profile) {
  return profile.Get("Server") + ":" + platform::ResolveDrivePath(profile.Get("Database")).string();
}

std::unique_ptr<DatabaseSession> OpenFirebirdSession(const ConnectionProfile& profile) {
  IMaster* master = TheMaster();
  // The client takes SIGINT and SIGTERM over when it first connects; the agent
  // ends through its own event loop.
  struct Reclaim {
    ~Reclaim() { platform::ReclaimTerminationSignals(); }
  } reclaim;
  Status status;
  try {
    Ref<Firebird::IProvider> provider(master->getDispatcher());
    Firebird::IXpbBuilder* dpb =
        master->getUtilInterface()->getXpbBuilder(&status, Firebird::IXpbBuilder::DPB, nullptr, 0);
    struct Disposer {
      Firebird::IXpbBuilder* builder;
      ~Disposer() { builder->dispose(); }
    } disposer{dpb};
    dpb->insertString(&status, isc_dpb_user_name, profile.Get("User_Name").c_str());
    dpb->insertString(&status, isc_dpb_password, profile.Get("Password").c_str());
    dpb->insertInt(&status, isc_dpb_sql_dialect, SQL_DIALECT_V6);
    // The target is always the server over TCP: keep the client from loading
    // its embedded engine, whose teardown at process exit crashes.
    dpb->insertString(&status, isc_dpb_config, "Providers=Remote");
    const std::string target = FirebirdAttachTarget(profile);
    IAttachment* attachment = provider->attachDatabase(
        &status, target.c_str(), dpb->getBufferLength(&status), dpb->getBuffer(&status));
    return std::make_unique<FirebirdSession>(attachment);
  } catch (const FbException& error) {
    throw Failure(MessageOf(error.getStatus()));
  }
}

}  // namespace quorbin
