#include <dlfcn.h>

#include "platform/shared_library.h"

namespace quorbin::platform {
namespace {

class DlLibrary : public SharedLibrary {
 public:
  explicit DlLibrary(void* handle) : handle_(handle) {}
  // The handle is never closed: symbols taken from it may be held anywhere.
  void* Symbol(const char* name) const override { return dlsym(handle_, name); }

 private:
  void* handle_;
};

}  // namespace

std::unique_ptr<SharedLibrary> LoadSharedLibrary(const std::vector<std::string>& names,
                                                 std::string& error, std::string* loaded) {
  error.clear();
  for (const std::string& name : names) {
    if (void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL)) {
      if (loaded) *loaded = name;
      return std::make_unique<DlLibrary>(handle);
    }
    const char* reason = dlerror();
    if (!error.empty()) error += "; ";
    error += reason ? reason : name + ": cannot be loaded";
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
