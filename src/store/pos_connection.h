// PosConnection: the one connection to the point-of-sale database (`fbconn`), with
// its two query objects `fbquery` and `fbquery2`. It holds one connection profile
// and opens it on demand: a query run while the connection is closed opens it
// first with the profile held.
//
// When the database server goes away, the first statement that finds the session
// dead drops it, opens a new one and runs once more; when the server is still
// away (the new session cannot be opened, or dies too) that statement fails with
// ConnectionLost and the client's message, and the connection stays closed until
// a later statement opens it.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "store/connection_profile.h"
#include "store/database_session.h"
#include "store/query.h"

namespace quorbin {

class PosQuery;

class PosConnection : public Connection {
 public:
  // Opens ODBC sessions for DriverID "MSSQL" and Firebird sessions for "FB".
  PosConnection();
  explicit PosConnection(SessionOpener opener);
  ~PosConnection() override;
  PosConnection(const PosConnection&) = delete;
  PosConnection& operator=(const PosConnection&) = delete;

  // Clears every parameter; the connection must be closed to change its profile.
  void ClearProfile();
  // Starts from an empty set of parameters and takes those of `profile`.
  void SetProfile(const ConnectionProfile& profile);
  const ConnectionProfile& profile() const { return profile_; }

  // Opens with the profile held; an open connection stays as it is.
  void Open();
  bool IsOpen() const { return session_ != nullptr; }
  // The open session's client software; empty when closed.
  std::string ClientName() const { return session_ ? session_->ClientName() : std::string(); }
  // What bounds a statement's wait on the open session; empty when closed.
  StatementWaitLimit WaitLimit() const {
    return session_ ? session_->WaitLimit() : StatementWaitLimit{};
  }

  Query& fbquery() override;
  Query& fbquery2() override;
  // Makes every change made so far durable; nothing to do is not a failure.
  void Commit() override;

  // Used by the queries.
  ResultSet Run(const std::string& statement);
  // Cached per table for the life of the connection.
  std::vector<std::string> RowKey(const std::string& table);
  std::int64_t UpdateRow(const RowUpdate& update);

 private:
  template <typename Operation>
  auto WithSession(Operation operation);

  SessionOpener opener_;
  ConnectionProfile profile_;
  std::unique_ptr<DatabaseSession> session_;
  std::map<std::string, std::vector<std::string>> row_keys_;
  std::unique_ptr<PosQuery> fbquery_;
  std::unique_ptr<PosQuery> fbquery2_;
};

// The session for a profile, by its DriverID.
std::unique_ptr<DatabaseSession> OpenPosSession(const ConnectionProfile& profile);

}  // namespace quorbin
