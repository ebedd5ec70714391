#include "support/self_update.h"

#include "platform/file_ops.h"

namespace quorbin {

bool ApplyPendingUpdate(const std::filesystem::path& executable) {
  return ApplyPendingUpdate(executable, platform::RenameNoReplace);
}

namespace {

// Whether `file` names the running executable, under whatever spelling.
bool IsTheExecutable(const std::filesystem::path& file, const std::filesystem::path& executable) {
  std::error_code error;
  return std::filesystem::equivalent(file, executable, error);
}

// A swap can go ahead only with a regular file waiting under the pending name and
// when neither fixed name is the running executable itself.
bool SwapCanGoAhead(const std::filesystem::path& executable, const std::filesystem::path& pending,
                    const std::filesystem::path& previous) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(std::filesystem::symlink_status(pending, error))) {
    return false;
  }
  return !IsTheExecutable(pending, executable) && !IsTheExecutable(previous, executable);
}

}  // namespace

bool ApplyPendingUpdate(const std::filesystem::path& executable, const RenameNoReplaceFn& rename) {
  const auto directory = executable.parent_path();
  const auto pending = directory / "quorbin_sync.exe_new";
  const auto previous = directory / "quorbin_sync.exe_old";
  if (!SwapCanGoAhead(executable, pending, previous)) return false;
  std::error_code error;
  std::filesystem::remove(previous, error);
  if (!rename(executable, previous)) return false;
  if (rename(pending, executable)) return true;
  rename(previous, executable);
  return false;
}

}  // namespace quorbin
