// Requests to end that come from the system (a service manager, Ctrl+C). They are
// turned into a readable descriptor so that the event loop can deliver them as an
// ordinary event, like the tray's "Sair".
#pragma once

namespace quorbin::platform {

// Installs the handlers once and returns a descriptor that becomes readable when
// a request to end arrives; -1 when the system offers no such descriptor.
int TerminationRequestDescriptor();

// Empties the descriptor after its request has been handled.
void AcknowledgeTerminationRequest();

}  // namespace quorbin::platform
