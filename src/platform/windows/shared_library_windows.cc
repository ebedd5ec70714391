#include <windows.h>

#include "platform/shared_library.h"
#include "platform/windows/module_file_windows.h"
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
  std::filesystem::path Path() const override { return ModuleFilePath(module_); }

 private:
  HMODULE module_;
};

// Loads with `load`, with no dialog box for a library that is missing or
// broken; `subject` fills the system message's inserts.
template <typename Load>
LibraryLoad LoadQuietly(Load load, const std::string& subject) {
  const UINT previous_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  const HMODULE module = load();
  const DWORD reason = GetLastError();
  SetErrorMode(previous_mode);
  LibraryLoad result;
  if (module) {
    result.library = std::make_unique<WindowsLibrary>(module);
    return result;
  }
  result.failure = SystemErrorText(reason, subject);
  result.not_found = reason == ERROR_MOD_NOT_FOUND || reason == ERROR_FILE_NOT_FOUND ||
                     reason == ERROR_PATH_NOT_FOUND;
  return result;
}

}  // namespace

LibraryLoad LoadLibraryNamed(const std::string& name) {
  const std::wstring wide = WideFromUtf8(name);
  return LoadQuietly([&] { return LoadLibraryW(wide.c_str()); }, name);
}

LibraryLoad LoadLibraryAt(const std::filesystem::path& path) {
  const std::wstring wide = path.wstring();
  return LoadQuietly(
      [&] { return LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH); },
      Utf8FromWide(wide));
}

std::filesystem::path FindOnLibrarySearchPath(const std::string& name) {
  const std::wstring wide = WideFromUtf8(name);
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = SearchPathW(nullptr, wide.c_str(), nullptr,
                                     static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) return {};
    if (length < buffer.size()) {
      buffer.resize(length);
      return std::filesystem::path(buffer);
    }
    buffer.resize(length);
  }
}

std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::vector<std::string>& names,
                                                 std::string& error, std::string* loaded) {
  error.clear();
  for (const std::string& name : names) {
    LibraryLoad load = LoadLibraryNamed(name);
    if (load.library) {
      if (loaded) *loaded = name;
      return std::move(load.library);
    }
    if (!error.empty()) error += "; ";
    error += name + ": " + load.failure;
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
