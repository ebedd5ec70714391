// The invoice phase, second of every pass. It makes sure the error folder exists,
// reads the switch OFFLINE of sync.ini anew (default true) and selects the pending
// rows of `cupom`:
//   OFFLINE true   "select * from cupom where web_ex = 0 order by numero desc"
//   OFFLINE false  "select * from cupom where web_ex = 0 and offline <> 2 order by nfce_num desc"
// Before every row the working set is trimmed, which runs pending events. Each row
// is read once into an InvoiceRow (a column that cannot be read fails the row
// where it is first used, see invoice_row.h), located (InvoiceLocator) and then,
// unless its number is in lNotasComErro:
//   file found   the payload (BuildInvoicePayload, UTF-8) is posted to BaseUrl +
//                "pdv/receive/" with the token;
//                  200: "Nota numero N enviada." (or "... cancelada no servidor."
//                       for cancelado = 1), then web_ex = 1 (committed);
//                  refused (ProtocolError): the number goes into the list, the
//                       line "Erro ao enviar Post JSON:" + status line + ". ", and
//                       the page cs_Sync_N_yyyy.html; then as for
//                  any status but 200: the number goes into the list and
//                       "Nota numero N Erro: " + the page's full path.
//   no file      offline = 1: "Arquivo não encontrado: <path>. Numero da nota: N.
//                Talvez algum problema com a contingência? Irei aguardar.", the row
//                stays pending; otherwise the line ends "A nota não será enviada."
//                and the row is marked exported without an upload.
// A failure of a row before its body exists gives the row up ("Arquivo não
// saudável, não tentará ser enviado novamente." and web_ex = 1), unless it is a
// failure of the database while the file was being located (a lock waited for
// too long, a link that died): that says nothing of the file, so the row stays
// pending, as it does after any failure once the body exists. Either way "Erro ao importar nota,
// será copiada para a pasta de erros." + the message follows and the file is copied into the error
// folder; an update of the row that failed is dropped first, so moving on does not try it again. A
// row with a path is followed by a pause of 500 ms with the thread asleep.
//
// A row is marked exported only after a 200 for it, or when it is given up as
// above. The give-up is tried once per row and pass: when it fails (a table
// without a usable key, a lock held past the time-out), "Erro ao importar nota,
// será copiada para a pasta de erros." + that failure's message is logged, the
// row stays pending and the phase goes on: one row cannot hold back the rows
// behind it. A missing file whose give-up failed is not called unhealthy.
//
// When the connection is lost in a row and cannot be opened again
// (ConnectionLost), the row is handled as above (a row already posted is copied
// into the error folder) and the phase ends with the line kDatabaseLost (see
// phase_end.h): no later row is uploaded while none could be marked. A failure
// of the query or of moving to the next row leaves the phase (the pass boundary
// handles it).
#pragma once

#include "sync/failed_note_list.h"
#include "sync/invoice_location.h"
#include "sync/phase_end.h"
#include "sync/sync_pass_setup.h"

namespace quorbin {

inline constexpr int kInvoicePauseMs = 500;

// The statement that selects the pending invoices for the switch OFFLINE.
const char* PendingInvoicesStatement(bool offline);

class InvoicePhase {
 public:
  // `pass_emitter_cnpj` is the pass's PassEmitterCnpj, which the searches for
  // files set and every payload carries.
  InvoicePhase(const SyncPassSetup& setup, InvoiceLocator& locator, FailedNoteList& lNotasComErro,
               std::string& pass_emitter_cnpj);

  PhaseEnd Run();

 private:
  // What the failure boundary of a row needs to know.
  struct RowProgress {
    std::string path;
    bool posted = false;
    // The database failed while the file was being located.
    bool location_unanswered = false;
    // The connection was lost and could not be opened again.
    bool database_lost = false;
  };

  void HandleRow(Query& fbquery, RowProgress& progress);
  void UploadRow(Query& fbquery, const InvoiceRow& row, RowProgress& progress);
  void ReportMissingFile(Query& fbquery, const InvoiceRow& row, RowProgress& progress);
  void HandleRowFailure(Query& fbquery, RowProgress& progress, const std::exception& failure);
  // Marks the row given up as exported; when that fails, the failure is logged as
  // a row's is and the row stays pending.
  void GiveUp(Query& fbquery, RowProgress& progress);
  void ReportGiveUpFailure(Query& fbquery, const std::exception& failure);
  std::filesystem::path ErrorPagePath(const std::string& number_text) const;

  const SyncPassSetup& setup_;
  InvoiceLocator& locator_;
  FailedNoteList& lNotasComErro_;
  std::string& pass_emitter_cnpj_;
};

}  // namespace quorbin
