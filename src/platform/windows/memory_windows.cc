#include <windows.h>

#include "platform/memory.h"

namespace quorbin::platform {

// Both limits at -1 ask the system to remove as many pages as it can from the
// working set; a failure changes nothing.
void ReleaseFreeMemory() noexcept {
  const HANDLE self = OpenProcess(PROCESS_ALL_ACCESS, FALSE, GetCurrentProcessId());
  if (!self) return;
  SetProcessWorkingSetSize(self, static_cast<SIZE_T>(-1), static_cast<SIZE_T>(-1));
  CloseHandle(self);
}

}  // namespace quorbin::platform
