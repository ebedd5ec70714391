// The connection chain run once at start-up: the three fixed profiles are tried in
// order and the first that opens is kept, with one line in the activity log.
// Failures of the two SQL Server profiles are neither logged nor raised; when the
// Firebird profile fails too, its failure is raised with the client's message and
// the connection keeps that profile, so a later statement tries it again.
#pragma once

#include "store/pos_connection.h"
#include "support/activity_log.h"

namespace quorbin {

void ConnectPosDatabase(PosConnection& fbconn, ActivityLog& log);

}  // namespace quorbin
