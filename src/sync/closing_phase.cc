#include "sync/closing_phase.h"

#include <exception>
#include <string>

#include "api/error_page.h"
#include "api/protocol_error.h"
#include "support/code_page.h"
#include "sync/json_separators.h"

namespace quorbin {
namespace {

constexpr const char* kClosingFailed = "Erro ao enviar fechamento: ";

// Posts the current closing and records the answer; failures reach the caller.
void UploadClosing(const SyncPassSetup& setup, Query& fbquery) {
  ApiClient& api = setup.api;
  api.PrepareJsonRequest(true);
  const std::string body = Utf8ToAnsi(FixJsonSeparators(fbquery.FieldByName("json").AsString()));
  api.Post(api.BaseUrl() + std::string(kClosingEndpoint), body);
  const std::string prefix = "Fechamento numero " + fbquery.FieldByName("codigo").AsString();
  if (api.ResponseCode() == 200) {
    setup.log.WriteLog(prefix + " enviado.");
    MarkExported(fbquery, setup.fbconn);
  } else {
    // Post returns normally only for 200 to 299.
    const std::string status_line = api.ResponseText();
    setup.log.WriteLog(prefix + " Erro: " + status_line);
    RecordSendError(fbquery, setup.fbconn, status_line);
  }
}

}  // namespace

PhaseEnd RunClosingPhase(const SyncPassSetup& setup) {
  Query& fbquery = setup.fbconn.fbquery();
  RunStatement(fbquery, kPendingClosings);
  while (!fbquery.AtEnd()) {
    try {
      UploadClosing(setup, fbquery);
      setup.pump.Sleep(kClosingPauseMs);
      fbquery.Next();
    } catch (const ProtocolError& error) {
      fbquery.Next();
      ReportProtocolError(error, setup.log, setup.clock, setup.error_folder);
    } catch (const ConnectionLost& failure) {
      fbquery.Cancel();
      setup.log.WriteLog(std::string(kClosingFailed) + failure.what());
      setup.log.WriteLog(kDatabaseLost);
      return PhaseEnd::kDatabaseLost;
    } catch (const std::exception& failure) {
      // A row update that failed is dropped, not posted again by the move: a row
      // whose update keeps failing must not end every pass before the invoices.
      fbquery.Cancel();
      fbquery.Next();
      setup.log.WriteLog(std::string(kClosingFailed) + failure.what());
    }
  }
  return PhaseEnd::kAllRows;
}

}  // namespace quorbin
