// The diagnostic run (`quorbin_sync --check`): what a technician needs to know
// of a terminal whose agent uploads nothing, found without changing anything.
// It writes no log line, updates no row, writes no qb_errors file, does not log
// in (the API is only asked to accept a TCP connection, which is closed without
// a byte sent) and does not take the single-instance lock.
//
// The report is one line per fact, "label: value", in this order: executable
// directory, version, the agent's bitness, sync.ini, API address, point-of-sale
// program, the ODBC drivers the agent sees, each database profile, the Firebird
// client library (when that profile was tried: the file loaded and its width, or
// what to do, and each place that gave nothing, on lines of their own), the
// time-out that bounds a statement's wait for a lock (when a database opened),
// emitter CNPJ, series, fingerprint, pending closings, pending
// invoices, the newest pending invoices (at most 20) with their file at the
// direct path, the API host, another agent, the log's last pass, last send and
// refusals since, and the verdict. Uploads could proceed when a database opened,
// the program is installed, the login's values and the fingerprint could be
// read, both pending queries ran and the API host accepted a connection.
//
// Every failure is reported on its line; none leaves CheckTerminal.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "store/pos_connection.h"

namespace quorbin {

inline constexpr std::size_t kCheckedInvoiceFiles = 20;

struct CheckSetup {
  PosConnection& fbconn;
  std::function<std::string()> fingerprint;
  std::filesystem::path executable_directory;
  std::filesystem::path settings_file;
  std::filesystem::path log_file;
  std::filesystem::path pos_program;  // resolved
  std::string lock_name;
  std::chrono::milliseconds connect_timeout;
};

struct CheckReport {
  std::vector<std::string> lines;  // UTF-8, without line breaks
  bool uploads_can_proceed = false;
};

CheckReport CheckTerminal(const CheckSetup& setup);

// The check on this terminal with the agent's own services and places.
CheckReport CheckThisTerminal();

}  // namespace quorbin
