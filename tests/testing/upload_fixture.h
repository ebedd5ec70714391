// What the end-to-end reliability tests share: a terminal's pending rows (invoices
// whose files lie at their direct paths, closings whose JSON names their code)
// and a web API on the debug address that accepts every upload, noting what it
// accepted, so that a test can tell whether a row marked exported was accepted.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <string>

#include "testing/scripted_http_server.h"
#include "testing/terminal.h"

namespace quorbin::testing {

struct PendingRows {
  std::string sql;                           // the INSERTs, for the backend
  std::map<std::string, int> number_of_key;  // invoice key -> CUPOM.NUMERO
  std::map<int, std::string> key_of_number;
  int closings = 0;  // FECHAMENTOS.CODIGO first_closing .. first_closing + closings - 1
  int first_closing = 1;

  int Count() const { return static_cast<int>(number_of_key.size()) + closings; }
};

// `invoices` invoices written below `drive_c` and a few closings. Terminals that
// share one API take different seeds (keys) and first closing codes.
PendingRows LayOutPendingRows(Backend backend, const std::filesystem::path& drive_c, int invoices,
                              std::uint32_t seed = 1, int first_closing = 1);

// The web API on 127.0.0.1:8000: a token for the login; every upload answered
// 200 after a random delay of up to `max_delay`. The invoice key or closing code
// is noted as accepted when the answer is chosen, before it travels. `on_upload`
// (if set) runs first, with the invoice key (or "closing:" + code) and the
// number of uploads so far.
class AcceptingApi {
 public:
  using UploadHook = std::function<void(const std::string& what, int uploads)>;
  explicit AcceptingApi(std::chrono::milliseconds max_delay = std::chrono::milliseconds(250),
                        UploadHook on_upload = {});

  std::set<std::string> AcceptedInvoices() const;
  std::set<std::string> AcceptedClosings() const;
  int Uploads() const;

 private:
  ScriptedAnswer Answer(const std::string& request);

  std::chrono::milliseconds max_delay_;
  UploadHook on_upload_;
  mutable std::mutex mutex_;
  std::mt19937 random_{7};
  std::set<std::string> invoices_;
  std::set<std::string> closings_;
  int uploads_ = 0;
  std::unique_ptr<ScriptedHttpServer> server_;  // last: stops before the rest goes
};

// Counts on a terminal's database.
int CountRows(TestDatabase& database, const std::string& from_where);
// Rows of `rows` marked exported that `api` never accepted.
int MarkedWithoutAcceptance(TestDatabase& database, const PendingRows& rows,
                            const AcceptingApi& api);
int PendingCount(TestDatabase& database);

}  // namespace quorbin::testing
