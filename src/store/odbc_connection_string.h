// The SQL Server side of a connection profile: which installed ODBC driver the
// agent uses, and the connection string it hands to the driver manager. Both are
// pure functions of their inputs; the driver manager itself is in odbc_session.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "store/connection_profile.h"

namespace quorbin {

// The candidate driver names, in order of preference.
const std::vector<std::string>& SqlServerDriverCandidates();

// The first candidate that is installed, compared without regard to case, in the
// spelling of `installed`; nothing when no candidate is installed.
std::optional<std::string> ChooseOdbcDriver(const std::vector<std::string>& installed);

// "DRIVER=...;UID=...;Server=...;Database=...;Trusted_Connection=..." from the
// profile, with ";MARS_Connection=yes" for the drivers that need it.
std::string BuildOdbcConnectionString(const ConnectionProfile& profile,
                                      const std::optional<std::string>& driver);

}  // namespace quorbin
