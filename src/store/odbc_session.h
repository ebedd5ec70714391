// The SQL Server client: sessions through the ODBC driver manager, which is
// loaded at the first attempt of the process. The driver is chosen once per
// process, at that first attempt, from the drivers the manager reports, and the
// connection is made with the profile's connection string and no prompt.
//
// A failed call raises ConnectionLost, so that the connection runs it once more on
// a new session, when the driver, asked for SQL_ATTR_CONNECTION_DEAD, says the
// connection is dead, when its SQLSTATE is of class 08, or when it is one with
// which the server says it ended the session (57P01, 57P02, 57P05);
// DatabaseFailure otherwise.
//
// Every statement gets a query time-out of 30 s. Whether the driver took it is
// read back once, when the session opens (WaitLimit): a driver that keeps 0 lets
// a statement wait for a lock as long as the database does.
#pragma once

#include <memory>
#include <string>

#include "store/connection_profile.h"
#include "store/database_session.h"

namespace quorbin {

struct DriverManager;

// Fails with the driver manager's message when it cannot be loaded or refuses the
// connection.
std::unique_ptr<DatabaseSession> OpenOdbcSession(const ConnectionProfile& profile);

// A session through `manager` (the loaded driver manager, or a test's stand-in
// for its calls) with `connection_string`; `client_name` is its ClientName.
std::unique_ptr<DatabaseSession> OpenOdbcSession(DriverManager& manager,
                                                 const std::string& connection_string,
                                                 std::string client_name);

// Frees the driver manager's environment, so that the next attempt reads the
// configuration and chooses the driver again (tests register drivers anew). No
// ODBC session may be open.
void ResetOdbcForTesting();

}  // namespace quorbin
