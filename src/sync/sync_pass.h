// SyncPass: the work of one pass, run by the agent's pass timer. Run() runs the
// closing phase and then the invoice phase, unless the closing phase ended
// because the database connection was lost (phase_end.h); a failure that a phase does not handle
// itself (the database unreachable, a failure inside a row's own failure
// handling) leaves Run() at once and the rest of the pass is skipped: the caller's
// pass boundary logs it.
//
// The pass object lives as long as the agent: it holds lNotasComErro (never
// emptied) and the invoice locator with what searches learned of files, and
// starts every Run() with an empty PassEmitterCnpj. A Run() called while one is
// in progress (from an event delivered in the middle of a pass) returns at once:
// passes never nest.
#pragma once

#include "sync/failed_note_list.h"
#include "sync/invoice_location.h"
#include "sync/sync_pass_setup.h"

namespace quorbin {

class SyncPass {
 public:
  explicit SyncPass(SyncPassSetup setup);
  SyncPass(const SyncPass&) = delete;
  SyncPass& operator=(const SyncPass&) = delete;

  void Run();

  const FailedNoteList& lNotasComErro() const { return lNotasComErro_; }
  const std::string& PassEmitterCnpj() const { return pass_emitter_cnpj_; }

 private:
  SyncPassSetup setup_;
  InvoiceLocator locator_;
  FailedNoteList lNotasComErro_;
  std::string pass_emitter_cnpj_;
  bool running_ = false;
};

}  // namespace quorbin
