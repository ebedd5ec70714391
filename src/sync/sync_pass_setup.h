// What a pass and its two phases work with. Everything referred to is owned by
// the agent for the life of the process and outlives the pass object:
//   log           the activity log
//   pump          the event loop as a pass sees it: pending events run between
//                 rows and searched files; the pauses between rows sleep on it
//   fbconn        the database connection with its queries `fbquery` (rows of
//                 both phases) and `fbquery2` (the emitter, during a search)
//   api           the HTTP client with BaseUrl and ApiToken
//   clock         local "now", for the names of error pages
//   error_folder  "qb_errors" beside the executable
//   settings_file "sync.ini" beside the executable, read anew by every invoice
//                 phase
#pragma once

#include <filesystem>

#include "api/api_client.h"
#include "store/query.h"
#include "support/activity_log.h"
#include "support/clock.h"
#include "support/event_pump.h"

namespace quorbin {

struct SyncPassSetup {
  ActivityLog& log;
  EventPump& pump;
  Connection& fbconn;
  ApiClient& api;
  const Clock& clock;
  std::filesystem::path error_folder;
  std::filesystem::path settings_file;
};

}  // namespace quorbin
