// What the agent's start-up and passes run on, wired the same way by every
// process entry: the point-of-sale connection, the web API client, the pass over
// both phases, and the services of start-up (the fingerprint, the executable,
// sync.ini and the resolved path of the point-of-sale program).
#pragma once

#include "api/api_client.h"
#include "shell/start_up.h"
#include "store/pos_connection.h"
#include "support/activity_log.h"
#include "support/clock.h"
#include "support/event_pump.h"
#include "sync/sync_pass.h"

namespace quorbin {

struct AgentServices {
  AgentServices(ActivityLog& log, const Clock& clock, EventPump& pump);
  AgentServices(const AgentServices&) = delete;
  AgentServices& operator=(const AgentServices&) = delete;

  PosConnection fbconn;
  ApiClient api;
  SyncPass pass;
  StartUpServices start_up;
};

}  // namespace quorbin
