// Whether the tests run under Wine, whose Windows lacks a few things a real one
// has (named in the tests that ask).
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

namespace quorbin::testing {

inline bool RunningUnderWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
#else
  return false;
#endif
}

}  // namespace quorbin::testing
