#include <algorithm>
#include <cstdlib>
#include <string>

#include "platform/drive_paths.h"

namespace quorbin::platform {
namespace {

constexpr const char* kDefaultDriveC = "/var/lib/quorbin/drive_c";

bool StartsWithDriveC(std::string_view path) {
  return path.size() >= 3 && (path[0] == 'C' || path[0] == 'c') && path[1] == ':' &&
         (path[2] == '\\' || path[2] == '/');
}

}  // namespace

std::filesystem::path ResolveDrivePath(std::string_view windows_path) {
  if (!StartsWithDriveC(windows_path)) return std::filesystem::path(std::string(windows_path));
  const char* configured = std::getenv("QUORBIN_DRIVE_C");
  std::string root = configured && *configured ? configured : kDefaultDriveC;
  std::string rest(windows_path.substr(3));
  std::replace(rest.begin(), rest.end(), '\\', '/');
  if (!root.empty() && root.back() != '/') root += '/';
  return std::filesystem::path(root + rest);
}

}  // namespace quorbin::platform
