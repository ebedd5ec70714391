#include "platform/termination_signals.h"

namespace quorbin::platform {

// Windows ends the agent through its window (the tray's "Sair", or the session
// ending); there is no descriptor to watch.
int TerminationRequestDescriptor() {
  return -1;
}

void ReclaimTerminationSignals() {}

void AcknowledgeTerminationRequest() {}

}  // namespace quorbin::platform
