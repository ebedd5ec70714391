#include <windows.h>

#include <string>

#include "platform/machine_registry.h"
#include "platform/shared_library.h"
#include "platform/windows/system_error_windows.h"
#include "platform/windows/wide_text_windows.h"

namespace quorbin::platform {
namespace {

std::string TypeName(DWORD type) {
  switch (type) {
    case REG_NONE:
      return "REG_NONE";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_DWORD:
      return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN:
      return "REG_DWORD_BIG_ENDIAN";
    case REG_LINK:
      return "REG_LINK";
    case REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    case REG_QWORD:
      return "REG_QWORD";
    default:
      return "type " + std::to_string(type);
  }
}

// A 32-bit Windows has one view; a 32-bit program on a 64-bit one runs under
// WOW64 and sees both, as a 64-bit program does.
bool HasView(RegistryView view) {
  if (view == RegistryView::k32Bit || kProcessBits == 64) return true;
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

RegistryValue Unreadable(LSTATUS status) {
  RegistryValue result;
  result.state = RegistryValue::State::kUnreadable;
  result.failure = SystemErrorText(static_cast<DWORD>(status));
  return result;
}

class Key {
 public:
  ~Key() {
    if (handle_) RegCloseKey(handle_);
  }
  HKEY* out() { return &handle_; }
  HKEY get() const { return handle_; }

 private:
  HKEY handle_ = nullptr;
};

}  // namespace

RegistryValue ReadMachineRegistryValue(RegistryView view, std::string_view key_name,
                                       std::string_view value_name) {
  RegistryValue result;
  if (!HasView(view)) return result;
  const REGSAM flag = view == RegistryView::k64Bit ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  Key key;
  const std::wstring wide_key = WideFromUtf8(key_name);
  LSTATUS status =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, wide_key.c_str(), 0, KEY_QUERY_VALUE | flag, key.out());
  if (status == ERROR_FILE_NOT_FOUND) {
    result.state = RegistryValue::State::kKeyAbsent;
    return result;
  }
  if (status != ERROR_SUCCESS) return Unreadable(status);

  const std::wstring wide_value = WideFromUtf8(value_name);
  DWORD type = REG_NONE;
  DWORD bytes = 0;
  status = RegQueryValueExW(key.get(), wide_value.c_str(), nullptr, &type, nullptr, &bytes);
  if (status == ERROR_FILE_NOT_FOUND) {
    result.state = RegistryValue::State::kValueAbsent;
    return result;
  }
  if (status != ERROR_SUCCESS) return Unreadable(status);
  if (type != REG_SZ && type != REG_EXPAND_SZ) {
    result.state = RegistryValue::State::kNotText;
    result.type = TypeName(type);
    return result;
  }
  // RegGetValue ends the string and, asked for REG_SZ alone, expands a
  // REG_EXPAND_SZ into one (asking for REG_EXPAND_SZ too is refused as an
  // invalid parameter); the value may grow between the two calls.
  std::wstring buffer(bytes / sizeof(wchar_t) + 2, L'\0');
  for (;;) {
    bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    status = RegGetValueW(key.get(), nullptr, wide_value.c_str(), RRF_RT_REG_SZ, nullptr,
                          buffer.data(), &bytes);
    if (status != ERROR_MORE_DATA) break;
    buffer.resize(bytes / sizeof(wchar_t) + 2);
  }
  if (status != ERROR_SUCCESS) return Unreadable(status);
  buffer.resize(bytes / sizeof(wchar_t));
  while (!buffer.empty() && buffer.back() == L'\0') buffer.pop_back();
  result.state = RegistryValue::State::kText;
  result.text = Utf8FromWide(buffer);
  return result;
}

}  // namespace quorbin::platform
