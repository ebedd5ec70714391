#include "store/odbc_driver_manager.h"

#include <vector>

#include "store/database_failure.h"
#include "store/odbc_connection_string.h"
#include "store/odbc_session.h"

namespace quorbin {
namespace {

template <typename Function>
void Resolve(const platform::SharedLibrary& library, Function& function, const char* name) {
  void* address = library.Symbol(name);
  if (!address) throw DatabaseFailure(std::string("ODBC driver manager lacks ") + name);
  function = reinterpret_cast<Function>(address);
}

OdbcApi ResolveApi(const platform::SharedLibrary& library) {
  OdbcApi api;
  Resolve(library, api.AllocHandle, "SQLAllocHandle");
  Resolve(library, api.FreeHandle, "SQLFreeHandle");
  Resolve(library, api.SetEnvAttr, "SQLSetEnvAttr");
  Resolve(library, api.SetConnectAttr, "SQLSetConnectAttr");
  Resolve(library, api.GetConnectAttr, "SQLGetConnectAttr");
  Resolve(library, api.SetStmtAttr, "SQLSetStmtAttr");
  Resolve(library, api.GetStmtAttr, "SQLGetStmtAttr");
  Resolve(library, api.Drivers, "SQLDrivers");
  Resolve(library, api.DriverConnect, "SQLDriverConnect");
  Resolve(library, api.Disconnect, "SQLDisconnect");
  Resolve(library, api.EndTran, "SQLEndTran");
  Resolve(library, api.ExecDirect, "SQLExecDirect");
  Resolve(library, api.Prepare, "SQLPrepare");
  Resolve(library, api.BindParameter, "SQLBindParameter");
  Resolve(library, api.Execute, "SQLExecute");
  Resolve(library, api.RowCount, "SQLRowCount");
  Resolve(library, api.NumResultCols, "SQLNumResultCols");
  Resolve(library, api.DescribeCol, "SQLDescribeCol");
  Resolve(library, api.ColAttribute, "SQLColAttribute");
  Resolve(library, api.Fetch, "SQLFetch");
  Resolve(library, api.GetData, "SQLGetData");
  Resolve(library, api.PrimaryKeys, "SQLPrimaryKeys");
  Resolve(library, api.Statistics, "SQLStatistics");
  Resolve(library, api.Columns, "SQLColumns");
  Resolve(library, api.GetDiagRec, "SQLGetDiagRec");
  return api;
}

std::unique_ptr<DriverManager>& LoadedDriverManager() {
  static std::unique_ptr<DriverManager> manager;
  return manager;
}

}  // namespace

DriverManager& TheDriverManager() {
  auto& manager = LoadedDriverManager();
  if (manager) return *manager;
  std::string error;
  auto library = platform::LoadSharedLibrary(platform::OdbcDriverManagerNames(), error);
  if (!library) throw DatabaseFailure("ODBC driver manager cannot be loaded: " + error);
  auto loaded = std::make_unique<DriverManager>();
  loaded->api = ResolveApi(*library);
  loaded->library = std::move(library);
  if (!SQL_SUCCEEDED(
          loaded->api.AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &loaded->environment))) {
    throw DatabaseFailure("ODBC driver manager: cannot allocate an environment");
  }
  loaded->api.SetEnvAttr(loaded->environment, SQL_ATTR_ODBC_VERSION,
                         reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  manager = std::move(loaded);
  return *manager;
}

std::vector<std::string> InstalledOdbcDrivers(DriverManager& manager) {
  std::vector<std::string> names;
  SQLUSMALLINT direction = SQL_FETCH_FIRST;
  for (;;) {
    SQLCHAR name[512];
    SQLCHAR attributes[2048];
    SQLSMALLINT name_length = 0;
    SQLSMALLINT attributes_length = 0;
    const SQLRETURN result =
        manager.api.Drivers(manager.environment, direction, name, sizeof name, &name_length,
                            attributes, sizeof attributes, &attributes_length);
    if (!SQL_SUCCEEDED(result)) break;
    names.emplace_back(reinterpret_cast<const char*>(name));
    direction = SQL_FETCH_NEXT;
  }
  return names;
}

const std::optional<std::string>& ChosenDriver(DriverManager& manager) {
  if (!manager.driver_chosen) {
    manager.driver = ChooseOdbcDriver(InstalledOdbcDrivers(manager));
    manager.driver_chosen = true;
  }
  return manager.driver;
}

void ResetOdbcForTesting() {
  auto& manager = LoadedDriverManager();
  if (!manager) return;
  manager->api.FreeHandle(SQL_HANDLE_ENV, manager->environment);
  manager.reset();
}

}  // namespace quorbin
