#include "support/file_io.h"

#include <cerrno>
#include <fstream>

namespace quorbin {
namespace {

// The reason of the failed call just made: errno, or EIO when it gave none.
std::error_code LastError() {
  return std::error_code(errno != 0 ? errno : EIO, std::generic_category());
}

class StreamFile : public FileIo::File {
 public:
  explicit StreamFile(std::ofstream out) : out_(std::move(out)) {}

  std::error_code Write(std::string_view bytes) override {
    errno = 0;
    out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return out_ ? std::error_code() : LastError();
  }

  std::error_code Close() override {
    errno = 0;
    out_.close();
    return out_ ? std::error_code() : LastError();
  }

 private:
  std::ofstream out_;
};

FileIo::Opened Open(const std::filesystem::path& path, std::ios::openmode mode) {
  errno = 0;
  std::ofstream out(path, std::ios::binary | mode);
  if (!out) return {nullptr, LastError()};
  return {std::make_unique<StreamFile>(std::move(out)), {}};
}

class SystemFileIo : public FileIo {
 public:
  Opened Append(const std::filesystem::path& path) override { return Open(path, std::ios::app); }

  Opened Create(const std::filesystem::path& path) override {
    return Open(path, std::ios::trunc);
  }

  std::error_code Copy(const std::filesystem::path& from,
                       const std::filesystem::path& to) override {
    std::error_code error;
    std::filesystem::copy_file(from, to, error);
    return error;
  }
};

}  // namespace

FileIo& RealFileIo() {
  static SystemFileIo io;
  return io;
}

}  // namespace quorbin
