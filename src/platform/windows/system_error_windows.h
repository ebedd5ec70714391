// The system's text for a Windows error number, for the platform files.
#pragma once

#include <windows.h>

#include <string>

#include "platform/windows/wide_text_windows.h"

namespace quorbin::platform {

// The message without its final line break and full stop; empty when the system
// has none.
inline std::string KnownSystemErrorText(DWORD number) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, number, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = length ? Utf8FromWide(std::wstring_view(buffer, length)) : std::string();
  if (buffer) LocalFree(buffer);
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return text;
}

// The message, or "error N" when the system has none.
inline std::string SystemErrorText(DWORD number) {
  std::string text = KnownSystemErrorText(number);
  return text.empty() ? "error " + std::to_string(number) : text;
}

}  // namespace quorbin::platform
