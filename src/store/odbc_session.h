// The SQL Server client: sessions through the ODBC driver manager, which is
// loaded at the first attempt of the process. The driver is chosen once per
// process, at that first attempt, from the drivers the manager reports, and the
// connection is made with the profile's connection string and no prompt.
#pragma once

#include <memory>

#include "store/connection_profile.h"
#include "store/database_session.h"

namespace quorbin {

// Fails with the driver manager's message when it cannot be loaded or refuses the
// connection.
std::unique_ptr<DatabaseSession> OpenOdbcSession(const ConnectionProfile& profile);

// Frees the driver manager's environment, so that the next attempt reads the
// configuration and chooses the driver again (tests register drivers anew). No
// ODBC session may be open.
void ResetOdbcForTesting();

}  // namespace quorbin
