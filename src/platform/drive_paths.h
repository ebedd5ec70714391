// Fixed Windows paths of the point-of-sale installation ("C:\..."), mapped to the
// place where this system keeps drive C. Other paths are returned unchanged.
#pragma once

#include <filesystem>
#include <string_view>

namespace quorbin::platform {

std::filesystem::path ResolveDrivePath(std::string_view windows_path);

}  // namespace quorbin::platform
