#include "store/firebird_client_library.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

#include "platform/drive_paths.h"
#include "platform/shared_library.h"
#include "store/database_failure.h"
#include "store/firebird_client_search.h"
#include "support/paths.h"

namespace quorbin {
namespace {

// As ibase.h declares it: __stdcall on 32-bit Windows, where calling it as a
// plain C function would leave the stack unbalanced at exit.
using ShutDown = decltype(&::fb_shutdown);

ShutDown loaded_shutdown = nullptr;
std::vector<LibraryAttempt> last_attempts;

// The client's threads must stop before the process tears its libraries down,
// or the client's own exit handlers crash: shut it down first, at exit.
void ShutDownClient() {
  loaded_shutdown(0, fb_shutrsn_app_stopped);
}

// Takes the library's calls by name; a call it lacks is raised, naming the file.
class Resolver {
 public:
  Resolver(const platform::SharedLibrary& library, const std::string& path)
      : library_(library), path_(path) {}
  template <typename Function>
  void operator()(Function& function, const char* name) const {
    function = reinterpret_cast<Function>(library_.Symbol(name));
    if (!function) throw DatabaseFailure("Firebird client library " + path_ + " lacks " + name);
  }

 private:
  const platform::SharedLibrary& library_;
  const std::string& path_;
};

FirebirdClient ResolveClient(const platform::SharedLibrary& library, const std::string& path) {
  FirebirdClient client;
  const Resolver Resolve(library, path);
  Resolve(client.attach_database, "isc_attach_database");
  Resolve(client.detach_database, "isc_detach_database");
  Resolve(client.start_transaction, "isc_start_transaction");
  Resolve(client.commit_transaction, "isc_commit_transaction");
  Resolve(client.rollback_transaction, "isc_rollback_transaction");
  Resolve(client.allocate_statement, "isc_dsql_allocate_statement");
  Resolve(client.prepare, "isc_dsql_prepare");
  Resolve(client.describe, "isc_dsql_describe");
  Resolve(client.execute, "isc_dsql_execute");
  Resolve(client.fetch, "isc_dsql_fetch");
  Resolve(client.free_statement, "isc_dsql_free_statement");
  Resolve(client.sql_info, "isc_dsql_sql_info");
  Resolve(client.open_blob, "isc_open_blob2");
  Resolve(client.get_segment, "isc_get_segment");
  Resolve(client.close_blob, "isc_close_blob");
  client.interpret = reinterpret_cast<decltype(client.interpret)>(library.Symbol("fb_interpret"));
  if (!client.interpret) Resolve(client.interprete, "isc_interprete");
  client.has_own_providers = library.Symbol("fb_get_master_interface") != nullptr;
  return client;
}

bool IsConnectionLostCode(ISC_STATUS code) {
  switch (code) {
    case isc_network_error:
    case isc_net_read_err:
    case isc_net_write_err:
    case isc_lost_db_connection:
    case isc_conn_lost:
    case isc_att_shutdown:
    case isc_shutdown:
    case isc_bad_db_handle:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::vector<LibraryAttempt> FirebirdClientAttempts() {
  return last_attempts;
}

const FirebirdClient& TheFirebirdClient() {
  static std::unique_ptr<FirebirdClient> loaded;
  if (loaded) return *loaded;
  ClientPlaces places{.names = platform::FirebirdClientNames(),
                      .pos_folder = platform::ResolveDrivePath(kPosProgram).parent_path(),
                      .registry = ReadFirebirdInstances()};
  const auto candidates = FirebirdClientCandidates(places, [](const std::filesystem::path& folder) {
    std::error_code error;
    return std::filesystem::is_directory(folder, error);
  });
  ClientSearch search = SearchFirebirdClient(candidates, SystemLibraryLoaders());
  last_attempts = search.attempts;
  if (!search.library) {
    throw DatabaseFailure("Firebird client library cannot be loaded: " +
                          DescribeFailedAttempts(search.attempts));
  }
  std::unique_ptr<platform::SharedLibrary> library = std::move(search.library);
  const std::filesystem::path path = library->Path();
  const std::string library_path =
      path.empty() ? search.attempts.back().candidate : Utf8FromPath(path);
  last_attempts.back().file = library_path;
  auto client = std::make_unique<FirebirdClient>(ResolveClient(*library, library_path));
  client->library_path = library_path;
  // The library stays loaded for the life of the process: unloading it while
  // its threads run is what crashes.
  static platform::SharedLibrary* const kept = library.release();
  loaded_shutdown = reinterpret_cast<ShutDown>(kept->Symbol("fb_shutdown"));
  if (loaded_shutdown) std::atexit(ShutDownClient);
  loaded = std::move(client);
  return *loaded;
}

std::string FirebirdMessage(const FirebirdClient& client, const ISC_STATUS* status) {
  std::string message;
  const ISC_STATUS* cursor = status;
  for (;;) {
    char buffer[1024] = {};
    const ISC_LONG length = client.interpret ? client.interpret(buffer, sizeof buffer - 1, &cursor)
                                             : client.interprete(buffer, &cursor);
    if (length <= 0) break;
    std::string_view line(buffer);
    if (line.starts_with('-')) line.remove_prefix(1);
    if (line.empty()) continue;
    if (!message.empty()) message += " ";
    message += line;
  }
  return message.empty() ? "Firebird call failed" : message;
}

bool SaysConnectionLost(const ISC_STATUS* status) {
  for (const ISC_STATUS* item = status; item && *item != isc_arg_end;) {
    const ISC_STATUS type = *item++;
    if (type == isc_arg_cstring) {
      item += 2;
      continue;
    }
    const ISC_STATUS value = *item++;
    if (type == isc_arg_gds && IsConnectionLostCode(value)) return true;
  }
  return false;
}

void RaiseFirebirdStatus(const FirebirdClient& client, const ISC_STATUS* status) {
  const std::string message = FirebirdMessage(client, status);
  if (SaysConnectionLost(status)) throw ConnectionLost(message);
  throw DatabaseFailure(message);
}

}  // namespace quorbin
