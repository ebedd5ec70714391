// The system's text for a Windows error number, for the platform files.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/message_inserts.h"
#include "platform/windows/wide_text_windows.h"

namespace quorbin::platform {

// The message without its final line break and full stop, each insert ("%1")
// filled with `subject` ("it" when none is given); empty when the system has
// none.
inline std::string KnownSystemErrorText(DWORD number, std::string_view subject = {}) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, number, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  const std::string text = length ? Utf8FromWide(std::wstring_view(buffer, length)) : std::string();
  if (buffer) LocalFree(buffer);
  return FillMessageInserts(text, subject.empty() ? std::string_view("it") : subject);
}

// The message, or "error N" when the system has none.
inline std::string SystemErrorText(DWORD number, std::string_view subject = {}) {
  std::string text = KnownSystemErrorText(number, subject);
  return text.empty() ? "error " + std::to_string(number) : text;
}

}  // namespace quorbin::platform
