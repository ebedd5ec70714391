#include <windows.h>

#include "platform/shared_library.h"
#include "platform/windows/system_error_windows.h"
#include "platform/windows/wide_text_windows.h"

namespace quorbin::platform {
namespace {

class WindowsLibrary : public SharedLibrary {
 public:
  explicit WindowsLibrary(HMODULE module) : module_(module) {}
  // The module is never freed: symbols taken from it may be held anywhere.
  void* Symbol(const char* name) const override {
    return reinterpret_cast<void*>(GetProcAddress(module_, name));
  }

 private:
  HMODULE module_;
};

}  // namespace

std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::vector<std::string>& names,
                                                 std::string& error, std::string* loaded) {
  error.clear();
  for (const std::string& name : names) {
    // No dialog box for a library that is missing or broken.
    const UINT previous_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const HMODULE module = LoadLibraryW(WideFromUtf8(name).c_str());
    const DWORD reason = GetLastError();
    SetErrorMode(previous_mode);
    if (module) {
      if (loaded) *loaded = name;
      return std::make_unique<WindowsLibrary>(module);
    }
    if (!error.empty()) error += "; ";
    error += name + ": " + SystemErrorText(reason);
  }
  return nullptr;
}

std::vector<std::string> OdbcDriverManagerNames() {
  return {"odbc32.dll"};
}

std::vector<std::string> FirebirdClientNames() {
  return {"fbclient.dll", "fbembed.dll"};
}

}  // namespace quorbin::platform
