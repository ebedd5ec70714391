#include "store/pos_connection.h"

#include "store/firebird_session.h"
#include "store/odbc_session.h"
#include "store/pos_query.h"

namespace quorbin {

std::unique_ptr<DatabaseSession> OpenPosSession(const ConnectionProfile& profile) {
  const std::string driver = profile.DriverId();
  if (driver == "MSSQL") return OpenOdbcSession(profile);
  if (driver == "FB") return OpenFirebirdSession(profile);
  throw Failure("Unknown database driver '" + driver + "'");
}

PosConnection::PosConnection() : PosConnection(OpenPosSession) {}

PosConnection::PosConnection(SessionOpener opener)
    : opener_(std::move(opener)),
      fbquery_(std::make_unique<PosQuery>(*this, "fbquery")),
      fbquery2_(std::make_unique<PosQuery>(*this, "fbquery2")) {}

PosConnection::~PosConnection() = default;

void PosConnection::ClearProfile() {
  profile_.Clear();
}

void PosConnection::SetProfile(const ConnectionProfile& profile) {
  profile_ = profile;
}

void PosConnection::Open() {
  if (session_) return;
  session_ = opener_(profile_);
  row_keys_.clear();
}

Query& PosConnection::fbquery() {
  return *fbquery_;
}
Query& PosConnection::fbquery2() {
  return *fbquery2_;
}

// Runs `operation` on the open session (opening it first). A session that turns
// out to be dead is dropped; when it had been opened before this call, a new one
// is opened and the operation runs once more. A new session that cannot be
// opened leaves the connection lost: its failure is raised as ConnectionLost.
template <typename Operation>
auto PosConnection::WithSession(Operation operation) {
  const bool fresh = session_ == nullptr;
  Open();
  try {
    return operation(*session_);
  } catch (const ConnectionLost&) {
    session_.reset();
    if (fresh) throw;
  }
  try {
    Open();
  } catch (const Failure& failure) {
    throw ConnectionLost(failure.what());
  }
  try {
    return operation(*session_);
  } catch (const ConnectionLost&) {
    session_.reset();
    throw;
  }
}

void PosConnection::Commit() {
  if (!session_) return;
  WithSession([](DatabaseSession& session) { session.Commit(); });
}

ResultSet PosConnection::Run(const std::string& statement) {
  return WithSession([&](DatabaseSession& session) { return session.Run(statement); });
}

std::vector<std::string> PosConnection::RowKey(const std::string& table) {
  if (auto found = row_keys_.find(table); found != row_keys_.end()) return found->second;
  auto key = WithSession([&](DatabaseSession& session) { return session.RowKey(table); });
  row_keys_[table] = key;
  return key;
}

std::int64_t PosConnection::UpdateRow(const RowUpdate& update) {
  return WithSession([&](DatabaseSession& session) { return session.UpdateRow(update); });
}

}  // namespace quorbin
