// Shared libraries loaded at run time, and the names under which this system
// finds the two database clients. A loaded library stays loaded for the life of
// the process.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace quorbin::platform {

// The width of this process's pointers, and so of every library it can load.
inline constexpr int kProcessBits = static_cast<int>(sizeof(void*) * 8);

class SharedLibrary {
 public:
  virtual ~SharedLibrary() = default;
  // The address of an exported symbol, or nullptr.
  virtual void* Symbol(const char* name) const = 0;
  // The full path of the file the system loaded; empty when it cannot tell.
  virtual std::filesystem::path Path() const = 0;
};

// Loads the first of `names` that loads, naming it in `loaded` when given;
// nullptr when none does, with the system's reason in `error`.
std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::vector<std::string>& names,
                                                 std::string& error, std::string* loaded = nullptr);

// One library, loaded or not: the system's reason when not, in its words with no
// placeholder left, and whether the reason is that the file (or one it needs)
// was not found.
struct LibraryLoad {
  std::unique_ptr<SharedLibrary> library;
  std::string failure;  // the system's reason, in its words, not starting with the name
  bool not_found = false;
};

// By bare name, as the system searches for it.
LibraryLoad LoadLibraryNamed(const std::string& name);
// By full path; the libraries it needs are looked for in its own folder first
// (Windows: LoadLibraryEx with LOAD_WITH_ALTERED_SEARCH_PATH).
LibraryLoad LoadLibraryAt(const std::filesystem::path& path);
// The file that a load by `name` would find on the system's search path, to say
// why it did not load; empty when there is none, or the system cannot tell.
std::filesystem::path FindOnLibrarySearchPath(const std::string& name);

// The ODBC driver manager.
std::vector<std::string> OdbcDriverManagerNames();
// The Firebird client library, in order of preference.
std::vector<std::string> FirebirdClientNames();

}  // namespace quorbin::platform
