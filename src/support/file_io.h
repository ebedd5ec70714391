// The file operations whose failures the activity log, the error pages and the
// error copies handle: open a file for appending or create it empty, write to
// it, close it, copy a file. Each reports a failure as the system does, as an
// error code, and never throws; what a failure means is the caller's to decide.
// Opening, writing and closing give errno values of the generic category
// ("Permission denied", "No space left on device"), EIO ("Input/output error")
// when the system gives no reason; a copy gives what std::filesystem gives.
//
// RealFileIo() is the system's, through the standard library; it is what every
// caller uses unless it is handed another. Tests hand in a double that fails
// chosen calls, so that the failure paths run in-process on every system.
#pragma once

#include <filesystem>
#include <memory>
#include <string_view>
#include <system_error>

namespace quorbin {

class FileIo {
 public:
  // A file open for writing. Closing it is part of writing: buffered bytes can
  // fail there. Destroying it unclosed closes it and ignores the outcome.
  class File {
   public:
    virtual ~File() = default;
    // Writes all of `bytes`; after a failure part of them may be in the file.
    virtual std::error_code Write(std::string_view bytes) = 0;
    virtual std::error_code Close() = 0;
    // Write, then Close; the first failure is the result.
    std::error_code WriteAndClose(std::string_view bytes);
  };

  struct Opened {
    std::unique_ptr<File> file;  // null exactly when `error` is set
    std::error_code error;
  };

  virtual ~FileIo() = default;

  // Opens `path` for writing at its end, creating it when it is missing.
  virtual Opened Append(const std::filesystem::path& path) = 0;
  // Append, Write and Close in one call: all of `bytes` at the end of `path`.
  // The first failure is the result. The log makes this call for every line:
  // the system's makes it without a file object on the heap.
  virtual std::error_code AppendAll(const std::filesystem::path& path, std::string_view bytes);
  // Creates `path` empty, or empties the file that is there.
  virtual Opened Create(const std::filesystem::path& path) = 0;
  // Copies the regular file `from` to `to`, which must not exist.
  virtual std::error_code Copy(const std::filesystem::path& from,
                               const std::filesystem::path& to) = 0;
};

FileIo& RealFileIo();

}  // namespace quorbin
