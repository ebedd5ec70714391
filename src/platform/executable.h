// Where the running executable lives. The activity log, the settings file, the
// error folder and the self-update files are kept beside it.
#pragma once

#include <filesystem>

namespace quorbin::platform {

// The resolved path of the running executable file.
std::filesystem::path ExecutablePath();

// The folder that holds the running executable.
std::filesystem::path ExecutableDirectory();

}  // namespace quorbin::platform
