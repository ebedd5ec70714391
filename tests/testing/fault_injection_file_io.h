// A FileIo for tests that does what the system's does, except for the calls it
// is told to fail: the Nth call of a kind fails with a given error (the system's
// error codes, so the texts callers build from them are the real ones), and a
// write can be made short: only its first bytes reach the file before it fails,
// as when a disk fills up in the middle of a write. Calls are counted from 1 per
// kind; open, write, close and copy calls of every file count together.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <system_error>
#include <vector>

#include "support/file_io.h"

namespace quorbin::testing {

// errno `number` as the generic category's error code.
std::error_code Errno(int number);

class FaultInjectionFileIo : public FileIo {
 public:
  enum class Call { kAppend, kCreate, kWrite, kClose, kCopy, kCount };

  // The `nth` call of kind `call` fails with `error`, doing nothing.
  void Fail(Call call, int nth, std::error_code error);
  // The `nth` write puts only its first `bytes` bytes into the file, then
  // fails with `error`.
  void ShortWrite(int nth, std::size_t bytes, std::error_code error);

  // How many calls of kind `call` were made so far.
  int Calls(Call call) const { return calls_[static_cast<std::size_t>(call)]; }

  Opened Append(const std::filesystem::path& path) override;
  Opened Create(const std::filesystem::path& path) override;
  std::error_code Copy(const std::filesystem::path& from, const std::filesystem::path& to) override;

 private:
  class File;
  struct Fault {
    Call call;
    int nth;
    std::error_code error;
    std::optional<std::size_t> short_bytes;
  };

  // Counts the call and returns the fault planned for it, if any.
  const Fault* Next(Call call);
  Opened Wrap(Opened real);

  std::vector<Fault> faults_;
  int calls_[static_cast<std::size_t>(Call::kCount)] = {};
};

}  // namespace quorbin::testing
