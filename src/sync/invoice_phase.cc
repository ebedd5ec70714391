#include "sync/invoice_phase.h"

#include <exception>
#include <new>
#include <string>

#include "api/error_page.h"
#include "api/protocol_error.h"
#include "platform/folder_listing.h"
#include "support/paths.h"
#include "support/settings.h"
#include "sync/invoice_error_files.h"
#include "sync/invoice_payload.h"
#include "sync/invoice_row_reader.h"
#include "sync/xml_document.h"

namespace quorbin {
namespace {

constexpr const char* kAllPending = "select * from cupom where web_ex = 0 order by numero desc";
constexpr const char* kPendingOnline =
    "select * from cupom where web_ex = 0 and offline <> 2 order by nfce_num desc";
constexpr const char* kImportFailed = "Erro ao importar nota, será copiada para a pasta de erros.";

bool IsFile(const std::string& path) {
  return !path.empty() && platform::StampOfFile(PathFromUtf8(path)).has_value();
}

// Memory that ran out says nothing of the file: it may load in the next pass.
bool ForWantOfResources(const std::exception& failure) {
  return dynamic_cast<const XmlResourceFailure*>(&failure) ||
         dynamic_cast<const std::bad_alloc*>(&failure);
}

}  // namespace

const char* PendingInvoicesStatement(bool offline) {
  return offline ? kAllPending : kPendingOnline;
}

InvoicePhase::InvoicePhase(const SyncPassSetup& setup, InvoiceLocator& locator,
                           FailedNoteList& lNotasComErro, std::string& pass_emitter_cnpj)
    : setup_(setup),
      locator_(locator),
      lNotasComErro_(lNotasComErro),
      pass_emitter_cnpj_(pass_emitter_cnpj) {}

PhaseEnd InvoicePhase::Run() {
  CreateErrorFolder(setup_.error_folder);
  const bool offline = ReadSettingBool(setup_.settings_file, "MAIN", "OFFLINE", true);
  Query& fbquery = setup_.fbconn.fbquery();
  RunStatement(fbquery, PendingInvoicesStatement(offline));
  while (!fbquery.AtEnd()) {
    TrimWorkingSet(setup_.pump);
    RowProgress progress;
    try {
      HandleRow(fbquery, progress);
    } catch (const ConnectionLost& failure) {
      progress.database_lost = true;
      HandleRowFailure(fbquery, progress, failure);
    } catch (const std::exception& failure) {
      HandleRowFailure(fbquery, progress, failure);
    }
    if (progress.database_lost) {
      setup_.log.WriteLog(kDatabaseLost);
      return PhaseEnd::kDatabaseLost;
    }
    if (!progress.path.empty()) setup_.pump.Sleep(kInvoicePauseMs);
    fbquery.Next();
  }
  return PhaseEnd::kAllRows;
}

void InvoicePhase::HandleRow(Query& fbquery, RowProgress& progress) {
  const InvoiceRow row = ReadInvoiceRow(fbquery);
  try {
    progress.path = locator_.LocateInvoiceFile(row, pass_emitter_cnpj_);
  } catch (const DatabaseFailure&) {
    progress.location_unanswered = true;
    throw;
  }
  if (lNotasComErro_.Contains(row.nfce_num.value())) return;
  if (IsFile(progress.path)) {
    UploadRow(fbquery, row, progress);
  } else {
    ReportMissingFile(fbquery, row, progress);
  }
}

void InvoicePhase::UploadRow(Query& fbquery, const InvoiceRow& row, RowProgress& progress) {
  ApiClient& api = setup_.api;
  const std::string body =
      BuildInvoicePayload(row, PathFromUtf8(progress.path), pass_emitter_cnpj_);
  progress.posted = true;
  try {
    api.PrepareJsonRequest(true);
    api.Post(api.BaseUrl() + std::string(kInvoiceEndpoint), body);
  } catch (const ProtocolError& error) {
    lNotasComErro_.Append(row.nfce_num.value());
    setup_.log.WriteLog(ProtocolErrorLogLine(error));
    WriteErrorPage(ErrorPagePath(row.nfce_num_text.value()), error.ErrorMessage());
  }
  const std::string prefix = "Nota numero " + row.nfce_num_text.value();
  if (api.ResponseCode() == 200) {
    const bool cancelled = row.cancelado.value() == 1;
    setup_.log.WriteLog(prefix + (cancelled ? " cancelada no servidor." : " enviada."));
    MarkExported(fbquery, setup_.fbconn);
  } else {
    lNotasComErro_.Append(row.nfce_num.value());
    setup_.log.WriteLog(prefix +
                        " Erro: " + Utf8FromPath(ErrorPagePath(row.nfce_num_text.value())));
  }
}

void InvoicePhase::ReportMissingFile(Query& fbquery, const InvoiceRow& row, RowProgress& progress) {
  const std::string line =
      "Arquivo não encontrado: " + progress.path + ". Numero da nota: " + row.nfce_num_text.value();
  if (row.offline.value() == 1) {
    setup_.log.WriteLog(line + ". Talvez algum problema com a contingência? Irei aguardar.");
  } else {
    setup_.log.WriteLog(line + ". A nota não será enviada.");
    GiveUp(fbquery, progress);
  }
}

void InvoicePhase::HandleRowFailure(Query& fbquery, RowProgress& progress,
                                    const std::exception& failure) {
  // A row update that failed is dropped, so that moving on does not post it again
  // and a row whose update keeps failing cannot end every pass.
  fbquery.Cancel();
  if (!progress.posted && !progress.location_unanswered && !progress.database_lost &&
      !ForWantOfResources(failure)) {
    setup_.log.WriteLog("Arquivo não saudável, não tentará ser enviado novamente.");
    GiveUp(fbquery, progress);
  }
  setup_.log.WriteLog(std::string(kImportFailed) + failure.what());
  CopyIntoErrorFolder(progress.path, setup_.error_folder);
}

void InvoicePhase::GiveUp(Query& fbquery, RowProgress& progress) {
  try {
    MarkExported(fbquery, setup_.fbconn);
  } catch (const ConnectionLost& failure) {
    progress.database_lost = true;
    ReportGiveUpFailure(fbquery, failure);
  } catch (const std::exception& failure) {
    ReportGiveUpFailure(fbquery, failure);
  }
}

void InvoicePhase::ReportGiveUpFailure(Query& fbquery, const std::exception& failure) {
  fbquery.Cancel();
  setup_.log.WriteLog(std::string(kImportFailed) + failure.what());
}

std::filesystem::path InvoicePhase::ErrorPagePath(const std::string& number_text) const {
  return setup_.error_folder / InvoiceErrorPageName(number_text, setup_.clock.Now());
}

}  // namespace quorbin
