#include "support/self_update.h"

#include "platform/file_ops.h"

namespace quorbin {

bool ApplyPendingUpdate(const std::filesystem::path& executable) {
  return ApplyPendingUpdate(executable, platform::RenameNoReplace);
}

bool ApplyPendingUpdate(const std::filesystem::path& executable, const RenameNoReplaceFn& rename) {
  const auto directory = executable.parent_path();
  const auto pending = directory / "quorbin_sync.exe_new";
  const auto previous = directory / "quorbin_sync.exe_old";
  std::error_code error;
  if (!std::filesystem::exists(pending, error)) return false;
  std::filesystem::remove(previous, error);
  if (!rename(executable, previous)) return false;
  if (rename(pending, executable)) return true;
  rename(previous, executable);
  return false;
}

}  // namespace quorbin
