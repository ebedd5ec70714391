#include "sync/sync_pass.h"

#include "sync/closing_phase.h"
#include "sync/emitter_cnpj.h"
#include "sync/invoice_phase.h"

namespace quorbin {
namespace {

class RunningFlag {
 public:
  explicit RunningFlag(bool& flag) : flag_(flag) { flag_ = true; }
  ~RunningFlag() { flag_ = false; }
  RunningFlag(const RunningFlag&) = delete;
  RunningFlag& operator=(const RunningFlag&) = delete;

 private:
  bool& flag_;
};

}  // namespace

SyncPass::SyncPass(SyncPassSetup setup)
    : setup_(std::move(setup)), locator_(setup_.log, setup_.pump, [this] {
        return ReadEmitterCnpj(setup_.fbconn.fbquery2());
      }) {}

void SyncPass::Run() {
  if (running_) return;
  const RunningFlag running(running_);
  pass_emitter_cnpj_.clear();
  if (RunClosingPhase(setup_) == PhaseEnd::kDatabaseLost) return;
  InvoicePhase(setup_, locator_, lNotasComErro_, pass_emitter_cnpj_).Run();
}

}  // namespace quorbin
