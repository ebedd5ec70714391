// Shared libraries loaded at run time, and the names under which this system
// finds the two database clients. A loaded library stays loaded for the life of
// the process.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quorbin::platform {

class SharedLibrary {
 public:
  virtual ~SharedLibrary() = default;
  // The address of an exported symbol, or nullptr.
  virtual void* Symbol(const char* name) const = 0;
};

// Loads the first of `names` that loads, naming it in `loaded` when given;
// nullptr when none does, with the system's reason in `error`.
std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::vector<std::string>& names,
                                                 std::string& error, std::string* loaded = nullptr);

// The ODBC driver manager.
std::vector<std::string> OdbcDriverManagerNames();
// The Firebird client library, in order of preference.
std::vector<std::string> FirebirdClientNames();

}  // namespace quorbin::platform
