// File operations whose guarantees the standard library does not give.
#pragma once

#include <filesystem>

namespace quorbin::platform {

// Renames a file without ever replacing an existing target. Returns false when
// the target exists or the rename fails for any other reason.
bool RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) noexcept;

// Whether the current user may create files in `folder`, asked of the system
// without writing anything.
bool IsWritableFolder(const std::filesystem::path& folder) noexcept;

}  // namespace quorbin::platform
