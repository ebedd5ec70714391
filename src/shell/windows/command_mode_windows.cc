#include "shell/windows/command_mode_windows.h"

#include <windows.h>

#include <string>

#include "check/terminal_check.h"
#include "platform/executable.h"
#include "platform/windows/com_windows.h"
#include "platform/windows/wide_text_windows.h"
#include "support/line_file.h"

namespace quorbin {
namespace {

HANDLE ParentOutput(DWORD which) {
  static const bool attached = AttachConsole(ATTACH_PARENT_PROCESS) != 0;
  HANDLE handle = GetStdHandle(which);
  if ((!handle || handle == INVALID_HANDLE_VALUE) && attached) {
    handle = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  }
  return handle;
}

// A console gets wide characters; a file or a pipe gets the UTF-8 bytes.
void Write(DWORD which, const std::string& utf8) {
  const HANDLE handle = ParentOutput(which);
  if (!handle || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  DWORD written = 0;
  if (GetFileType(handle) == FILE_TYPE_CHAR && GetConsoleMode(handle, &mode)) {
    const std::wstring wide = platform::WideFromUtf8(utf8);
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    return;
  }
  WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

int Check() {
  platform::EnsureComApartment();  // the fingerprint asks WMI
  const CheckReport report = CheckThisTerminal();
  std::string text;
  for (const std::string& line : report.lines) text += line + "\r\n";
  Write(STD_OUTPUT_HANDLE, text);
  try {
    WriteLineFile(platform::ExecutableDirectory() / "check.txt",
                  {.lines = report.lines, .encoding = TextEncoding::kUtf8});
  } catch (const std::exception& failure) {
    Write(STD_ERROR_HANDLE, std::string("check.txt: ") + failure.what() + "\r\n");
  }
  return report.uploads_can_proceed ? 0 : 1;
}

}  // namespace

int RunCommandMode(RunMode mode) {
  switch (mode) {
    case RunMode::kCheck:
      return Check();
    case RunMode::kVersion:
      Write(STD_OUTPUT_HANDLE, VersionText());
      return 0;
    case RunMode::kHelp:
      Write(STD_OUTPUT_HANDLE, HelpText());
      return 0;
    case RunMode::kAgent:
    case RunMode::kUsageError:
      break;
  }
  Write(STD_ERROR_HANDLE, HelpText());
  return kUsageErrorCode;
}

}  // namespace quorbin
