// The full path of a loaded module's file, the executable's for nullptr, however
// long it is; empty when the system cannot tell it.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

namespace quorbin::platform {

inline std::filesystem::path ModuleFilePath(HMODULE module) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return std::filesystem::path(buffer);
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace quorbin::platform
