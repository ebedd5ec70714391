// DatabaseFailure: the database client or server could not do what was asked (a
// statement refused, a lock waited for too long, a link that died). The values
// and rows already delivered are not in question, so a caller may keep a row
// pending for the next pass instead of giving it up. ConnectionLost says the
// session itself is dead: the connection drops it and opens a new one. Raised by
// the connection, it says the session was lost and a new one could not be
// opened (or was lost too): no statement will run until the server is back.
#pragma once

#include "support/failure.h"

namespace quorbin {

class DatabaseFailure : public Failure {
 public:
  using Failure::Failure;
};

class ConnectionLost : public DatabaseFailure {
 public:
  using DatabaseFailure::DatabaseFailure;
};

}  // namespace quorbin
