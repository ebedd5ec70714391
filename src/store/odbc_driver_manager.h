// The ODBC driver manager, loaded at the first call of the process and kept: the
// calls the SQL Server client makes, its environment (ODBC 3), and the driver
// chosen once from those it reports.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/odbc_headers.h"
#include "platform/shared_library.h"

namespace quorbin {

// The functions of the driver manager this client calls.
struct OdbcApi {
  decltype(&::SQLAllocHandle) AllocHandle = nullptr;
  decltype(&::SQLFreeHandle) FreeHandle = nullptr;
  decltype(&::SQLSetEnvAttr) SetEnvAttr = nullptr;
  decltype(&::SQLSetConnectAttr) SetConnectAttr = nullptr;
  decltype(&::SQLGetConnectAttr) GetConnectAttr = nullptr;
  decltype(&::SQLSetStmtAttr) SetStmtAttr = nullptr;
  decltype(&::SQLGetStmtAttr) GetStmtAttr = nullptr;
  decltype(&::SQLDrivers) Drivers = nullptr;
  decltype(&::SQLDriverConnect) DriverConnect = nullptr;
  decltype(&::SQLDisconnect) Disconnect = nullptr;
  decltype(&::SQLEndTran) EndTran = nullptr;
  decltype(&::SQLExecDirect) ExecDirect = nullptr;
  decltype(&::SQLPrepare) Prepare = nullptr;
  decltype(&::SQLBindParameter) BindParameter = nullptr;
  decltype(&::SQLExecute) Execute = nullptr;
  decltype(&::SQLRowCount) RowCount = nullptr;
  decltype(&::SQLNumResultCols) NumResultCols = nullptr;
  decltype(&::SQLDescribeCol) DescribeCol = nullptr;
  decltype(&::SQLColAttribute) ColAttribute = nullptr;
  decltype(&::SQLFetch) Fetch = nullptr;
  decltype(&::SQLGetData) GetData = nullptr;
  decltype(&::SQLPrimaryKeys) PrimaryKeys = nullptr;
  decltype(&::SQLStatistics) Statistics = nullptr;
  decltype(&::SQLColumns) Columns = nullptr;
  decltype(&::SQLGetDiagRec) GetDiagRec = nullptr;
};

struct DriverManager {
  std::unique_ptr<platform::SharedLibrary> library;
  OdbcApi api;
  SQLHENV environment = SQL_NULL_HENV;
  bool driver_chosen = false;
  std::optional<std::string> driver;
};

// Loaded at the first call; a failure to load is raised (DatabaseFailure) and
// tried again next time.
DriverManager& TheDriverManager();

// The drivers the driver manager reports (SQLDrivers), in its order.
std::vector<std::string> InstalledOdbcDrivers(DriverManager& manager);

// The driver to connect with, chosen at the first call (ChooseOdbcDriver).
const std::optional<std::string>& ChosenDriver(DriverManager& manager);

}  // namespace quorbin
