// The Firebird client library, loaded at the first call and kept for the life of
// the process: the classic C calls that every client from 1.5 to 5.0 exports
// (fbclient.dll, fbembed.dll, libfbclient), resolved once, and the reading of
// the status vectors they fill.
//
// A client of 3.0 or later (one that exports fb_get_master_interface) brings its
// own embedded engine, which it is told not to load; before the process ends,
// the client's threads are stopped (fb_shutdown, where the client has it).
#pragma once

#include <ibase.h>

#include <string>

namespace quorbin {

struct FirebirdClient {
  decltype(&::isc_attach_database) attach_database = nullptr;
  decltype(&::isc_detach_database) detach_database = nullptr;
  decltype(&::isc_start_transaction) start_transaction = nullptr;
  decltype(&::isc_commit_transaction) commit_transaction = nullptr;
  decltype(&::isc_rollback_transaction) rollback_transaction = nullptr;
  decltype(&::isc_dsql_allocate_statement) allocate_statement = nullptr;
  decltype(&::isc_dsql_prepare) prepare = nullptr;
  decltype(&::isc_dsql_describe) describe = nullptr;
  decltype(&::isc_dsql_execute) execute = nullptr;
  decltype(&::isc_dsql_fetch) fetch = nullptr;
  decltype(&::isc_dsql_free_statement) free_statement = nullptr;
  decltype(&::isc_dsql_sql_info) sql_info = nullptr;
  decltype(&::isc_open_blob2) open_blob = nullptr;
  decltype(&::isc_get_segment) get_segment = nullptr;
  decltype(&::isc_close_blob) close_blob = nullptr;
  // One of these two; fb_interpret (2.0 and later) is preferred.
  decltype(&::fb_interpret) interpret = nullptr;
  ISC_LONG(ISC_EXPORT* interprete)(ISC_SCHAR*, const ISC_STATUS**) = nullptr;
  // A client of 3.0 or later.
  bool has_own_providers = false;
  // The full path of the file loaded (UTF-8), else the name it was loaded by.
  std::string library_path;
};

// Loads the client on the first call, looking for it where Firebird puts it
// (store/firebird_client_search.h); a failure to load is raised
// (DatabaseFailure, naming each place and why) and tried again next time.
const FirebirdClient& TheFirebirdClient();

// The messages of a status vector on one line, joined by blanks.
std::string FirebirdMessage(const FirebirdClient& client, const ISC_STATUS* status);

// True when the status vector says the attachment is gone (network errors, a
// shut-down database, an invalid handle).
bool SaysConnectionLost(const ISC_STATUS* status);

// Raises the status vector as ConnectionLost or DatabaseFailure.
[[noreturn]] void RaiseFirebirdStatus(const FirebirdClient& client, const ISC_STATUS* status);

}  // namespace quorbin
