#include "check/terminal_check.h"

#include <algorithm>
#include <chrono>
#include <exception>

#include "api/api_client.h"
#include "api/http_client.h"
#include "api/http_url.h"
#include "check/log_summary.h"
#include "identity/quorbin_guid.h"
#include "platform/drive_paths.h"
#include "platform/executable.h"
#include "platform/file_ops.h"
#include "platform/shared_library.h"
#include "platform/single_instance.h"
#include "platform/tcp_socket.h"
#include "store/connect_pos_database.h"
#include "store/firebird_client_search.h"
#include "store/firebird_session.h"
#include "store/login_fields.h"
#include "store/odbc_driver_manager.h"
#include "support/activity_log.h"
#include "support/paths.h"
#include "support/settings.h"
#include "support/version.h"
#include "sync/closing_phase.h"
#include "sync/invoice_location.h"
#include "sync/invoice_phase.h"
#include "sync/invoice_row_reader.h"

namespace quorbin {
namespace {

const std::string kBits = std::to_string(platform::kProcessBits) + "-bit";

std::string YesNo(bool value) {
  return value ? "yes" : "no";
}

bool IsFile(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::is_regular_file(path, error);
}

// Builds the report line by line and keeps what the verdict needs.
class Check {
 public:
  explicit Check(const CheckSetup& setup) : s_(setup) {}

  CheckReport Run() {
    Files();
    const std::string base_url = Settings();
    const bool program = PosProgram();
    OdbcDrivers();
    const bool database = Database();
    const bool login = database && LoginValues();
    const bool fingerprint = Fingerprint();
    const bool pending = database && PendingRows();
    const bool api = ApiHost(base_url);
    Line("another agent running", YesNo(platform::IsSingleInstanceHeld(s_.lock_name)));
    Log();
    report_.uploads_can_proceed = program && database && login && fingerprint && pending && api;
    Line("uploads can proceed", YesNo(report_.uploads_can_proceed));
    return std::move(report_);
  }

 private:
  void Line(const std::string& label, const std::string& value) {
    report_.lines.push_back(label + ": " + value);
  }

  void Files() {
    const bool writable = platform::IsWritableFolder(s_.executable_directory);
    Line("executable directory",
         Utf8FromPath(s_.executable_directory) + (writable ? " (writable)" : " (NOT writable)"));
    Line("version", kSyncVersion);
    Line("agent bitness",
         kBits + " (it loads " + kBits + " database clients and ODBC drivers only)");
  }

  // sync.ini as the agent reads it; returns the API address start-up selects.
  std::string Settings() {
    const bool debug = ReadSettingBool(s_.settings_file, "MAIN", "DEBUG", false);
    const bool offline = ReadSettingBool(s_.settings_file, "MAIN", "OFFLINE", true);
    offline_ = offline;
    Line("sync.ini", Utf8FromPath(s_.settings_file) +
                         (IsFile(s_.settings_file) ? "" : " (absent)") +
                         ", DEBUG=" + (debug ? "1" : "0") + ", OFFLINE=" + (offline ? "1" : "0"));
    const std::string base_url = SelectedBaseUrl(debug);
    Line("API address", base_url);
    return base_url;
  }

  bool PosProgram() {
    const bool installed = IsFile(s_.pos_program);
    Line("point-of-sale program",
         Utf8FromPath(s_.pos_program) + (installed ? " (found)" : " (NOT found: no login)"));
    return installed;
  }

  // The drivers this agent's driver manager reports: only those of its own width.
  void OdbcDrivers() {
    const std::string label = "ODBC drivers (" + kBits + ")";
    try {
      const std::vector<std::string> drivers = InstalledOdbcDrivers(TheDriverManager());
      std::string list;
      for (const std::string& driver : drivers) list += (list.empty() ? "" : ", ") + driver;
      Line(label, list.empty() ? "none" : list);
    } catch (const std::exception& failure) {
      Line(label, std::string("failed: ") + failure.what());
    }
  }

  static std::string ProfileName(const ConnectionProfile& profile) {
    if (profile.DriverId() == "FB") return "Firebird " + FirebirdAttachTarget(profile);
    return "SQL Server " + profile.Get("Server") + " " + profile.Get("Database");
  }

  // The connection chain, each profile tried in order; the profiles after the one
  // that opened are not tried.
  bool Database() {
    std::vector<std::string> results;
    bool opened = true;
    try {
      OpenPosDatabase(s_.fbconn, [&](const ConnectionProfile&, const std::string& failure) {
        results.push_back(failure.empty() ? "opened with " + s_.fbconn.ClientName()
                                          : "failed: " + failure);
      });
    } catch (const std::exception&) {
      opened = false;
    }
    const auto& profiles = PosConnectionProfiles();
    for (std::size_t i = 0; i < profiles.size(); ++i) {
      Line("database " + ProfileName(profiles[i]), i < results.size() ? results[i] : "not tried");
    }
    FirebirdClientLibrary();
    if (opened) WaitLimit();
    return opened;
  }

  // When the Firebird profile was tried: the file loaded and its width, and each
  // place tried before it and why it gave nothing; when none loaded, what to do.
  void FirebirdClientLibrary() {
    using Outcome = LibraryAttempt::Outcome;
    const std::vector<LibraryAttempt> attempts = FirebirdClientAttempts();
    if (attempts.empty()) return;
    const std::string label = "Firebird client library";
    const bool loaded = attempts.back().outcome == Outcome::kLoaded;
    if (!loaded) {
      Line(label, "NONE loads: " +
                      FirebirdClientAdvice(attempts, platform::FirebirdClientNames().front()));
    } else {
      Line(label, attempts.back().file + " (" + kBits + ")" +
                      (attempts.size() > 1 ? "; not used before it:" : ""));
    }
    for (const LibraryAttempt& attempt : attempts) {
      if (attempt.outcome == Outcome::kLoaded) continue;
      report_.lines.push_back("  " + attempt.candidate + ": " + attempt.reason);
    }
  }

  // How long a statement of the open session may wait for a lock.
  void WaitLimit() {
    const StatementWaitLimit limit = s_.fbconn.WaitLimit();
    if (limit.name.empty()) return;
    Line(limit.name,
         limit.seconds > 0
             ? std::to_string(limit.seconds) + " s"
             : "not taken by the driver (a lock waits as long as the database lets it)");
  }

  bool LoginValues() {
    try {
      const LoginFields fields = ReadLoginFields(s_.fbconn.fbquery());
      s_.fbconn.fbquery().Close();
      Line("emitter CNPJ", fields.cnpj);
      Line("series", fields.serie);
      return true;
    } catch (const std::exception& failure) {
      Line("emitter CNPJ and series", std::string("failed: ") + failure.what());
      return false;
    }
  }

  bool Fingerprint() {
    try {
      Line("fingerprint", s_.fingerprint());
      return true;
    } catch (const std::exception& failure) {
      Line("fingerprint", std::string("failed: ") + failure.what());
      return false;
    }
  }

  // Counts the rows the next pass would select, and looks for the files of the
  // newest invoices at their direct path.
  bool PendingRows() {
    bool ran = true;
    Query& fbquery = s_.fbconn.fbquery();
    try {
      RunStatement(fbquery, kPendingClosings);
      std::size_t closings = 0;
      for (; !fbquery.AtEnd(); fbquery.Next()) ++closings;
      fbquery.Close();
      Line("pending closings", std::to_string(closings));
    } catch (const std::exception& failure) {
      Line("pending closings", std::string("failed: ") + failure.what());
      ran = false;
    }
    try {
      RunStatement(fbquery, PendingInvoicesStatement(offline_));
      std::size_t invoices = 0;
      std::vector<std::string> files;
      for (; !fbquery.AtEnd(); fbquery.Next(), ++invoices) {
        if (invoices < kCheckedInvoiceFiles) files.push_back(InvoiceFileLine(fbquery));
      }
      fbquery.Close();
      Line("pending invoices", std::to_string(invoices));
      for (const std::string& line : files) report_.lines.push_back(line);
    } catch (const std::exception& failure) {
      Line("pending invoices", std::string("failed: ") + failure.what());
      ran = false;
    }
    return ran;
  }

  static std::string InvoiceFileLine(const Query& fbquery) {
    const InvoiceRow row = ReadInvoiceRow(fbquery);
    const std::string label = "invoice " + row.nfce_num_text.value();
    try {
      const std::string path = DirectInvoicePath(row);
      const bool found = IsFile(PathFromUtf8(path));
      return label + ": " + (found ? "file found at " : "file NOT at the direct path ") + path;
    } catch (const std::exception& failure) {
      return label + ": failed: " + failure.what();
    }
  }

  // Resolves the host and opens a TCP connection within the connect time-out,
  // then closes it without a byte sent.
  bool ApiHost(const std::string& base_url) {
    const std::string label = "API host";
    try {
      const HttpUrl url = SplitHttpUrl(base_url);
      const std::string name = url.host + ":" + std::to_string(url.port);
      std::uint32_t address = 0;
      // The name lookup and the connection share the connect time-out.
      const auto started = std::chrono::steady_clock::now();
      if (const auto error = platform::ResolveIpv4(url.host, address, s_.connect_timeout)) {
        Line(label, name + " does NOT resolve: " + error->description);
        return false;
      }
      const auto left = s_.connect_timeout - std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 std::chrono::steady_clock::now() - started);
      platform::TcpSocket socket;
      if (const auto error =
              socket.Connect(address, url.port, std::max(left, std::chrono::milliseconds(1)))) {
        Line(label, name + " resolves, connection NOT accepted: " + error->description);
        return false;
      }
      socket.Close();
      Line(label, name + " resolves and accepts a connection");
      return true;
    } catch (const std::exception& failure) {
      Line(label, std::string("failed: ") + failure.what());
      return false;
    }
  }

  void Log() {
    try {
      const LogSummary summary = ReadLogSummary(s_.log_file);
      Line("last pass started", summary.last_pass_start.value_or("none in the log"));
      Line("last closing or invoice sent", summary.last_sent.value_or("none in the log"));
      Line("refusals since then", std::to_string(summary.refusals.size()));
      for (const std::string& refusal : summary.refusals) report_.lines.push_back("  " + refusal);
    } catch (const std::exception& failure) {
      Line("log", Utf8FromPath(s_.log_file) + " cannot be read: " + failure.what());
    }
  }

  const CheckSetup& s_;
  CheckReport report_;
  bool offline_ = true;
};

}  // namespace

CheckReport CheckTerminal(const CheckSetup& setup) {
  return Check(setup).Run();
}

CheckReport CheckThisTerminal() {
  PosConnection fbconn;
  const CheckSetup setup{.fbconn = fbconn,
                         .fingerprint = [] { return TUQuorbinGUID().RETORNARGUID(); },
                         .executable_directory = platform::ExecutableDirectory(),
                         .settings_file = SettingsFilePath(),
                         .log_file = ActivityLog::DefaultPath(),
                         .pos_program = platform::ResolveDrivePath(kPosProgram),
                         .lock_name = platform::SingleInstanceName(),
                         .connect_timeout = HttpLimits{}.connect_timeout};
  return CheckTerminal(setup);
}

}  // namespace quorbin
