#include "support/event_pump.h"

#include "platform/memory.h"

namespace quorbin {

void TrimWorkingSet(EventPump& pump) {
  platform::ReleaseFreeMemory();
  pump.RunPending();
}

}  // namespace quorbin
