#include "testing/upload_fixture.h"

#include "nfce_tree.h"
#include "testing/debug_port.h"

namespace quorbin::testing {
namespace {

// The value of a `"name":"` member in a request body, up to its closing quote.
std::string Member(const std::string& request, const std::string& name) {
  const std::string opening = "\"" + name + "\":\"";
  const auto start = request.find(opening);
  if (start == std::string::npos) return {};
  const auto from = start + opening.size();
  return request.substr(from, request.find('"', from) - from);
}

}  // namespace

PendingRows LayOutPendingRows(Backend backend, const std::filesystem::path& drive_c, int invoices,
                              std::uint32_t seed, int first_closing) {
  PendingRows rows;
  rows.closings = invoices / 20 + 2;
  rows.first_closing = first_closing;
  std::string sql;
  for (int code = first_closing; code < first_closing + rows.closings; ++code) {
    sql += "INSERT INTO FECHAMENTOS VALUES (" + std::to_string(code) + ", '{\"closing\":\"" +
           std::to_string(code) + "\",\"total\":10.50}', 0, NULL);\n";
  }
  const auto written = bench::WriteDirectInvoices(drive_c, invoices, seed);
  for (std::size_t i = 0; i < written.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    const auto& invoice = written[i];
    rows.number_of_key[invoice.key] = number;
    rows.key_of_number[number] = invoice.key;
    sql += "INSERT INTO CUPOM VALUES (" + std::to_string(number) + ", " + std::to_string(number) +
           ", '" + invoice.key + "', '" + invoice.month.substr(0, 4) + "-" +
           invoice.month.substr(4, 2) + "-15', '10:30:00', 0, 0, 0);\n";
  }
  rows.sql = OneTransaction(backend, sql);
  return rows;
}

AcceptingApi::AcceptingApi(std::chrono::milliseconds max_delay, UploadHook on_upload)
    : max_delay_(max_delay), on_upload_(std::move(on_upload)), server_(ListenOnDebugPort()) {
  server_->SetResponder([this](const std::string& request) { return Answer(request); });
}

ScriptedAnswer AcceptingApi::Answer(const std::string& request) {
  if (request.starts_with("POST /api/pdv/login/ ")) {
    return ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK", {}, "\"tok-reliability\""));
  }
  std::string what;
  if (const std::string id = Member(request, "nf_id"); !id.empty()) {
    what = id.substr(3);  // "NFe" + the key
  } else if (const std::string code = Member(request, "closing"); !code.empty()) {
    what = "closing:" + code;
  }
  int uploads = 0;
  {
    std::lock_guard lock(mutex_);
    uploads = ++uploads_;
  }
  if (on_upload_) on_upload_(what, uploads);
  std::lock_guard lock(mutex_);
  if (what.starts_with("closing:")) {
    closings_.insert(what.substr(8));
  } else if (!what.empty()) {
    invoices_.insert(what);
  }
  const auto delay = max_delay_.count() > 0 ? random_() % max_delay_.count() : 0;
  return ScriptedAnswer()
      .Pause(std::chrono::milliseconds(delay))
      .Send(HttpAnswer("HTTP/1.1 200 OK", {}, "{}"));
}

std::set<std::string> AcceptingApi::AcceptedInvoices() const {
  std::lock_guard lock(mutex_);
  return invoices_;
}

std::set<std::string> AcceptingApi::AcceptedClosings() const {
  std::lock_guard lock(mutex_);
  return closings_;
}

int AcceptingApi::Uploads() const {
  std::lock_guard lock(mutex_);
  return uploads_;
}

int CountRows(TestDatabase& database, const std::string& from_where) {
  return std::stoi(database.Scalar("SELECT count(*) FROM " + from_where));
}

// The marked rows are read with a plain select and compared here, one by one,
// so that the check holds at any size (a list of every accepted row in the
// statement would not: Firebird takes at most 1,500 values in an IN list).
int MarkedWithoutAcceptance(TestDatabase& database, const PendingRows& rows,
                            const AcceptingApi& api) {
  const std::set<std::string> invoices = api.AcceptedInvoices();
  const std::set<std::string> closings = api.AcceptedClosings();
  int wrong = 0;
  for (const std::string& number : database.Rows("SELECT NUMERO FROM CUPOM WHERE WEB_EX = 1")) {
    const auto key = rows.key_of_number.find(std::stoi(number));
    if (key == rows.key_of_number.end() || !invoices.contains(key->second)) ++wrong;
  }
  for (const std::string& code : database.Rows("SELECT CODIGO FROM FECHAMENTOS WHERE WEB_EX = 1")) {
    if (!closings.contains(code)) ++wrong;
  }
  return wrong;
}

int PendingCount(TestDatabase& database) {
  return CountRows(database, "CUPOM WHERE WEB_EX = 0") +
         CountRows(database, "FECHAMENTOS WHERE WEB_EX = 0");
}

}  // namespace quorbin::testing
