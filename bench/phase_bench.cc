// The invoice phase over pending rows whose files all lie at their direct paths,
// against the bare work it cannot avoid: the same statement, one HTTP round trip
// with the same body and one committed row update per row. The database is a
// SQLite file reached through unixODBC with the SQLite ODBC driver registered
// under a SQL Server driver name (as the tests do), in write-ahead-log mode; the
// API is a minimal server on the loopback interface that answers 200 at once.
// Pauses are zero.
//
//   phase_bench [rows]     generates `rows` invoices (1000), measures, removes them
//
// Prints, measured in one run (median of five rounds each):
//   invoice_phase_rows_per_s  rows handled per second by the phase
//   invoice_phase_vs_bare     the phase's time against the bare round trips and
//                             commits
// Needs the packages unixodbc, libsqliteodbc and sqlite3.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "api/api_client.h"
#include "figure.h"
#include "nfce_tree.h"
#include "store/connection_profile.h"
#include "store/pos_connection.h"
#include "support/activity_log.h"
#include "support/clock.h"
#include "support/event_pump.h"
#include "sync/emitter_cnpj.h"
#include "sync/invoice_payload.h"
#include "sync/invoice_phase.h"
#include "sync/invoice_row_reader.h"
#include "testing/pos_schema.h"

namespace {

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

constexpr int kRounds = 5;

class QuietPump final : public quorbin::EventPump {
 public:
  void RunPending() override {}
  void Sleep(int) override {}
};

double Seconds(SteadyClock::time_point since) {
  return std::chrono::duration<double>(SteadyClock::now() - since).count();
}

double Median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

// Answers every request with 200 and an empty JSON object, one connection at a
// time, after reading the whole request.
class LoopbackServer {
 public:
  LoopbackServer() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 64) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot listen on the loopback interface");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~LoopbackServer() {
    stopping_ = true;
    shutdown(listener_, SHUT_RDWR);
    thread_.join();
    close(listener_);
  }

  int port() const { return port_; }
  long served() const { return served_; }

 private:
  void Serve() {
    static const std::string kAnswer =
        "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 2\r\n\r\n{}";
    std::vector<char> buffer(1 << 16);
    while (!stopping_) {
      const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      std::string request;
      std::size_t wanted = std::string::npos;
      while (request.size() < wanted) {
        const ssize_t got = read(client, buffer.data(), buffer.size());
        if (got <= 0) break;
        request.append(buffer.data(), static_cast<std::size_t>(got));
        const std::size_t head_end = request.find("\r\n\r\n");
        if (wanted == std::string::npos && head_end != std::string::npos) {
          const std::size_t at = request.find("Content-Length: ");
          const std::size_t body =
              at == std::string::npos ? 0 : std::stoul(request.substr(at + 16));
          wanted = head_end + 4 + body;
        }
      }
      if (write(client, kAnswer.data(), kAnswer.size()) > 0) ++served_;
      close(client);
    }
  }

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<long> served_{0};
  std::thread thread_;
};

using BenchRow = quorbin::bench::DirectInvoice;

void Sqlite(const fs::path& database, const fs::path& script, const std::string& sql) {
  WriteFile(script, sql);
  const std::string command =
      "sqlite3 -batch '" + database.string() + "' < '" + script.string() + "' > /dev/null";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("sqlite3 failed: " + command);
}

std::string CupomRows(const std::vector<BenchRow>& rows) {
  // Commits append to a write-ahead log, as a database server's do, rather than
  // creating and removing a journal file each time.
  std::string sql = "PRAGMA journal_mode=WAL;\n" + quorbin::testing::PosTables("TEXT") +
                    std::string(quorbin::testing::kPosEmitterRow) + "BEGIN;\n";
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const std::string number = std::to_string(i + 1);
    sql += "INSERT INTO CUPOM VALUES (" + number + ", " + number + ", '" + rows[i].key + "', '" +
           rows[i].month.substr(0, 4) + "-" + rows[i].month.substr(4, 2) +
           "-15', '10:30:00', 0, 0, 0);\n";
  }
  return sql + "COMMIT;\n";
}

// What the phase cannot do without: the statement, then per row one POST of its
// body and one committed update.
double BareRoundTrips(quorbin::PosConnection& connection, quorbin::ApiClient& api,
                      const std::vector<std::string>& bodies) {
  const auto start = SteadyClock::now();
  quorbin::Query& fbquery = connection.fbquery();
  quorbin::RunStatement(fbquery, "select * from cupom where web_ex = 0 order by numero desc");
  for (const std::string& body : bodies) {
    api.PrepareJsonRequest(true);
    api.Post(api.BaseUrl() + "pdv/receive/", body);
    quorbin::MarkExported(fbquery, connection);
    fbquery.Next();
  }
  return Seconds(start);
}

int Measure(const fs::path& dir, int row_count) {
  const fs::path drive_c = dir / "drive_c";
  const fs::path exe_dir = dir / "exe";
  const fs::path odbc = dir / "odbc";
  const fs::path db = dir / "db";
  for (const auto& folder : {drive_c, exe_dir, odbc, db}) fs::create_directories(folder);

  const std::vector<BenchRow> rows = quorbin::bench::WriteDirectInvoices(drive_c, row_count);
  setenv("QUORBIN_DRIVE_C", drive_c.c_str(), 1);
  WriteFile(odbc / "odbcinst.ini",
            "[ODBC Driver 17 for SQL Server]\nDescription=SQLite 3 under a SQL Server name\n"
            "Driver=libsqlite3odbc.so\n");
  WriteFile(odbc / "odbc.ini", "");
  setenv("ODBCSYSINI", odbc.c_str(), 1);
  setenv("ODBCINI", (odbc / "odbc.ini").c_str(), 1);
  const fs::path database = db / "VELPDV";
  const fs::path script = dir / "script.sql";
  Sqlite(database, script, CupomRows(rows));
  // The connection string opens VELPDV in the working folder.
  fs::current_path(db);

  quorbin::PosConnection connection;
  connection.SetProfile(quorbin::PosConnectionProfiles()[0]);
  connection.Open();
  LoopbackServer server;
  quorbin::ApiClient api;
  api.SetBaseUrl("http://127.0.0.1:" + std::to_string(server.port()) + "/api/");
  api.SetApiToken("bench");
  quorbin::SystemClock clock;
  quorbin::ActivityLog log(exe_dir / "log_sync.txt", clock);
  QuietPump pump;
  const quorbin::SyncPassSetup setup{.log = log,
                                     .pump = pump,
                                     .fbconn = connection,
                                     .api = api,
                                     .clock = clock,
                                     .error_folder = exe_dir / "qb_errors",
                                     .settings_file = exe_dir / "sync.ini"};
  quorbin::InvoiceLocator locator(log, pump,
                                  [&] { return quorbin::ReadEmitterCnpj(connection.fbquery2()); });
  quorbin::FailedNoteList lNotasComErro;

  // The bodies the phase will post, built beforehand for the bare round trips.
  std::vector<std::string> bodies;
  quorbin::Query& fbquery = connection.fbquery();
  quorbin::RunStatement(fbquery, "select * from cupom where web_ex = 0 order by numero desc");
  std::string pass_emitter_cnpj;
  for (; !fbquery.AtEnd(); fbquery.Next()) {
    const quorbin::InvoiceRow row = quorbin::ReadInvoiceRow(fbquery);
    bodies.push_back(quorbin::BuildInvoicePayload(
        row, locator.LocateInvoiceFile(row, pass_emitter_cnpj), pass_emitter_cnpj));
  }

  std::vector<double> phase;
  std::vector<double> bare;
  for (int round = 0; round < kRounds; ++round) {
    Sqlite(database, script, "UPDATE CUPOM SET WEB_EX = 0;");
    const auto start = SteadyClock::now();
    quorbin::InvoicePhase(setup, locator, lNotasComErro, pass_emitter_cnpj).Run();
    phase.push_back(Seconds(start));
    Sqlite(database, script, "UPDATE CUPOM SET WEB_EX = 0;");
    bare.push_back(BareRoundTrips(connection, api, bodies));
  }
  const long expected = static_cast<long>(rows.size()) * 2 * kRounds;
  if (server.served() != expected || lNotasComErro.size() != 0 ||
      (fs::exists(exe_dir / "qb_errors") && !fs::is_empty(exe_dir / "qb_errors"))) {
    std::fprintf(stderr, "phase_bench: %ld answers for %ld requests expected; rows failed\n",
                 server.served(), expected);
    return 1;
  }
  const double phase_s = Median(phase);
  const double bare_s = Median(bare);
  char details[160];
  std::snprintf(details, sizeof details, "(%zu rows with direct files, %.0f ms)", rows.size(),
                phase_s * 1000);
  quorbin::bench::PrintFigure("invoice_phase_rows_per_s", rows.size() / phase_s, "-", details, 0);
  std::snprintf(details, sizeof details, "(phase %.0f ms, bare round trips and commits %.0f ms)",
                phase_s * 1000, bare_s * 1000);
  // On a terminal the network and the 500 ms pause after every row dominate.
  quorbin::bench::PrintFigure("invoice_phase_vs_bare", phase_s / bare_s, "<= 2", details);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 1000;
  const fs::path dir =
      fs::temp_directory_path() / ("quorbin-phase-bench-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  int result = 1;
  try {
    result = Measure(dir, rows);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "phase_bench: %s\n", failure.what());
  }
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(dir);
  return result;
}
