// The Firebird client: sessions attached to the local Firebird server through
// the client library's classic C API (any client from 1.5 to 5.0, see
// firebird_client_library.h), which is loaded at the first attempt. The
// attach target is the profile's `Server`, ":" and its `Database` resolved to a
// local path; the user, the password and SQL dialect 3 are sent, no character
// set. The database is only attached, never created.
//
// Every statement runs in its own read-committed transaction that waits at most
// a fixed time for a lock held by another transaction.
#pragma once

#include <memory>

#include "store/connection_profile.h"
#include "store/database_session.h"

namespace quorbin {

// Seconds a transaction waits for a lock before it fails.
constexpr int kFirebirdLockTimeoutSeconds = 30;

std::unique_ptr<DatabaseSession> OpenFirebirdSession(const ConnectionProfile& profile);

// "localhost:/resolved/path/VELPDV.FDB" for the Firebird profile.
std::string FirebirdAttachTarget(const ConnectionProfile& profile);

}  // namespace quorbin
