// The connection chain run once at start-up: the three fixed profiles are tried in
// order and the first that opens is kept, with one line in the activity log.
// Failures of the two SQL Server profiles are neither logged nor raised; when the
// Firebird profile fails too, its failure is raised with the client's message and
// the connection keeps that profile, so a later statement tries it again.
//
// OpenPosDatabase is the chain itself, without the log line: it tells `observe`
// of every attempt (the profile and the failure's message, empty when it
// opened) and returns when one opened, or raises the Firebird failure.
#pragma once

#include <functional>
#include <string>

#include "store/pos_connection.h"
#include "support/activity_log.h"

namespace quorbin {

void ConnectPosDatabase(PosConnection& fbconn, ActivityLog& log);

using ProfileAttemptObserver =
    std::function<void(const ConnectionProfile& profile, const std::string& failure)>;
void OpenPosDatabase(PosConnection& fbconn, const ProfileAttemptObserver& observe);

}  // namespace quorbin
