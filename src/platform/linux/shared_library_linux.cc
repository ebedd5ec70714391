#include <dlfcn.h>
#include <link.h>

#include "platform/shared_library.h"

namespace quorbin::platform {
namespace {

class DlLibrary : public SharedLibrary {
 public:
  explicit DlLibrary(void* handle) : handle_(handle) {}
  // The handle is never closed: symbols taken from it may be held anywhere.
  void* Symbol(const char* name) const override { return dlsym(handle_, name); }
  std::filesystem::path Path() const override {
    link_map* map = nullptr;
    if (dlinfo(handle_, RTLD_DI_LINKMAP, &map) != 0 || !map || !map->l_name) return {};
    return std::filesystem::path(map->l_name);
  }

 private:
  void* handle_;
};

LibraryLoad Open(const std::string& name) {
  LibraryLoad result;
  if (void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    result.library = std::make_unique<DlLibrary>(handle);
    return result;
  }
  // dlerror starts its text with the name; the failure, as on Windows, does not.
  const char* reason = dlerror();
  result.failure = reason ? reason : "cannot be loaded";
  const std::string prefix = name + ": ";
  if (result.failure.starts_with(prefix)) result.failure.erase(0, prefix.size());
  result.not_found = result.failure.find("No such file or directory") != std::string::npos;
  return result;
}

}  // namespace

LibraryLoad LoadLibraryNamed(const std::string& name) {
  return Open(name);
}

// dlopen looks for the libraries a file needs where its own RUNPATH says, then
// on the usual paths: a full path is all it takes.
LibraryLoad LoadLibraryAt(const std::filesystem::path& path) {
  return Open(path.string());
}

// The dynamic loader's search (its cache included) is not reproduced here.
std::filesystem::path FindOnLibrarySearchPath(const std::string&) {
  return {};
}

std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::vector<std::string>& names,
                                                 std::string& error, std::string* loaded) {
  error.clear();
  for (const std::string& name : names) {
    LibraryLoad load = Open(name);
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
  return {"libodbc.so.2"};
}

std::vector<std::string> FirebirdClientNames() {
  return {"libfbclient.so.2", "libfbclient.so"};
}

}  // namespace quorbin::platform
