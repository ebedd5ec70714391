#include <windows.h>

#include <cstdlib>

#include "platform/single_instance.h"
#include "platform/windows/wide_text_windows.h"

namespace quorbin::platform {

std::string SingleInstanceName() {
  const char* configured = std::getenv("QUORBIN_LOCK_NAME");
  return configured && *configured ? configured : "QuorbinEC";
}

// A named mutex, not owned at creation, waited on with a time-out of zero. It is
// never released: the system frees it when the process ends (abandoned).
bool AcquireSingleInstance(const std::string& name) {
  const HANDLE mutex = CreateMutexW(nullptr, FALSE, WideFromUtf8(name).c_str());
  if (!mutex) return true;
  return WaitForSingleObject(mutex, 0) != WAIT_TIMEOUT;
}

// The mutex exists while a process holds a handle to it, and only the agent
// that owns it keeps one.
bool IsSingleInstanceHeld(const std::string& name) {
  const HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE, WideFromUtf8(name).c_str());
  if (!mutex) return false;
  CloseHandle(mutex);
  return true;
}

}  // namespace quorbin::platform
