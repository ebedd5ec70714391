// Values of the machine's part of the Windows registry (HKEY_LOCAL_MACHINE), as
// they are: what they mean is for the caller to judge. A 64-bit Windows keeps two
// views of it, one for 64-bit programs and one for 32-bit programs; a key is
// read in the view asked for, whatever the agent's own bitness. Systems without
// a registry answer kNoRegistry.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quorbin::platform {

enum class RegistryView { k64Bit, k32Bit };

struct RegistryValue {
  enum class State {
    kNoRegistry,   // no registry, or no such view on this system (32-bit Windows)
    kKeyAbsent,    // the key is not there
    kValueAbsent,  // the key is, the value is not
    kUnreadable,   // the key or the value cannot be read: `failure` says why
    kText,         // a string (REG_SZ, or REG_EXPAND_SZ with its variables expanded)
    kNotText,      // a value of another type: `type` names it
  };
  State state = State::kNoRegistry;
  std::string text;     // UTF-8, for kText
  std::string type;     // "REG_DWORD", ... for kNotText
  std::string failure;  // the system's reason, for kUnreadable
};

// `key` below HKEY_LOCAL_MACHINE, with backslashes ("SOFTWARE\\...").
RegistryValue ReadMachineRegistryValue(RegistryView view, std::string_view key,
                                       std::string_view value);

}  // namespace quorbin::platform
