// The peak memory of the test process, for tests that show a parse does not grow
// without bound.
#pragma once

#ifdef _WIN32
#include <windows.h>
// after windows.h
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace quorbin::testing {

// The largest resident size (working set on Windows) so far, in KiB.
inline long PeakResidentKilobytes() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
  return static_cast<long>(counters.PeakWorkingSetSize / 1024);
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
#endif
}

}  // namespace quorbin::testing
