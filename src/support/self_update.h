// The self-update swap. Another program drops a new executable beside the running
// one as "quorbin_sync.exe_new"; at start the agent renames its own file to
// "quorbin_sync.exe_old" and the new file into its place, then asks to end so that
// the next start runs the new version. Renames never overwrite.
//
// Only a regular file under the pending name is a new version; anything else
// there (a folder, a link) is ignored. A previous version left as
// "quorbin_sync.exe_old" by an earlier swap is removed first, so that it cannot
// block every later update, but only when the swap can go ahead: never when the
// agent runs as one of the two fixed names. When the second rename fails, the
// first is undone, so the executable's own name is never left empty. Nothing is
// logged.
#pragma once

#include <filesystem>
#include <functional>

namespace quorbin {

// True when the new version is now in place and the agent should end.
bool ApplyPendingUpdate(const std::filesystem::path& executable);

// The same with the rename operation given, so that its failures can be tried.
using RenameNoReplaceFn =
    std::function<bool(const std::filesystem::path& from, const std::filesystem::path& to)>;
bool ApplyPendingUpdate(const std::filesystem::path& executable, const RenameNoReplaceFn& rename);

}  // namespace quorbin
