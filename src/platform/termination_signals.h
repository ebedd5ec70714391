// Requests to end that come from the system (a service manager, Ctrl+C). They are
// turned into a readable descriptor so that the event loop can deliver them as an
// ordinary event, like the tray's "Sair".
#pragma once

namespace quorbin::platform {

// Installs the handlers once and returns a descriptor that becomes readable when
// a request to end arrives; -1 when the system offers no such descriptor.
int TerminationRequestDescriptor();

// Installs the handlers again when they were installed before: a library that
// took the signals over for itself (the Firebird client does, and then races the
// process's own exit) gives them back.
void ReclaimTerminationSignals();

// Empties the descriptor after its request has been handled.
void AcknowledgeTerminationRequest();

}  // namespace quorbin::platform
