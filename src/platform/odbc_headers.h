// The ODBC C API as each system's driver manager declares it (unixODBC on Linux,
// the Windows SDK on Windows, where the declarations need the system's base
// types first).
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

#include <sql.h>
#include <sqlext.h>
