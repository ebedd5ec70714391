// COM for the platform files: the calling thread's apartment and a reference that
// releases its interface.
#pragma once

#include <objbase.h>
#include <oleauto.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <utility>

#include "platform/windows/system_error_windows.h"
#include "platform/windows/wide_text_windows.h"

namespace quorbin::platform {

// Initialises COM on the calling thread as a single-threaded apartment, once; it
// stays initialised for the life of the thread. A thread that some other code
// made multi-threaded keeps its apartment.
inline void EnsureComApartment() {
  thread_local const HRESULT status = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  (void)status;
}

// Holds one reference to a COM interface.
template <typename Interface>
class ComRef {
 public:
  ComRef() = default;
  ~ComRef() { reset(); }
  ComRef(ComRef&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  ComRef& operator=(ComRef&& other) noexcept {
    if (this != &other) {
      reset();
      pointer_ = std::exchange(other.pointer_, nullptr);
    }
    return *this;
  }
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;

  Interface* operator->() const { return pointer_; }
  Interface* get() const { return pointer_; }
  explicit operator bool() const { return pointer_ != nullptr; }
  // For calls that hand out a new reference.
  Interface** put() {
    reset();
    return &pointer_;
  }
  void reset() {
    if (pointer_) pointer_->Release();
    pointer_ = nullptr;
  }

 private:
  Interface* pointer_ = nullptr;
};

// A BSTR for one call.
class Bstr {
 public:
  explicit Bstr(std::wstring_view text)
      : value_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
  ~Bstr() { SysFreeString(value_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return value_; }

 private:
  BSTR value_;
};

// A VARIANT cleared at the end of its scope.
class Variant {
 public:
  Variant() { VariantInit(&value_); }
  ~Variant() { VariantClear(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* get() { return &value_; }
  const VARIANT& operator*() const { return value_; }

 private:
  VARIANT value_;
};

// "what: the system's text (0x80070005)", or "what: 0x8004100E" when the system
// has no text for the status.
inline std::string ComFailureText(const std::string& what, HRESULT status) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(status));
  const std::string text = KnownSystemErrorText(static_cast<DWORD>(status));
  return what + ": " + (text.empty() ? std::string(code) : text + " (" + code + ")");
}

}  // namespace quorbin::platform
