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
  // Opened in place: a stream is costly to move, and the log opens one per line.
  StreamFile(const std::filesystem::path& path, std::ios::openmode mode)
      : out_(path, std::ios::binary | mode) {}

  bool is_open() const { return static_cast<bool>(out_); }

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
  auto file = std::make_unique<StreamFile>(path, mode);
  if (!file->is_open()) return {nullptr, LastError()};
  return {std::move(file), {}};
}

class SystemFileIo : public FileIo {
 public:
  Opened Append(const std::filesystem::path& path) override { return Open(path, std::ios::app); }

  std::error_code AppendAll(const std::filesystem::path& path, std::string_view bytes) override {
    errno = 0;
    StreamFile file(path, std::ios::app);
    if (!file.is_open()) return LastError();
    return file.WriteAndClose(bytes);
  }

  Opened Create(const std::filesystem::path& path) override { return Open(path, std::ios::trunc); }

  std::error_code Copy(const std::filesystem::path& from,
                       const std::filesystem::path& to) override {
    std::error_code error;
    std::filesystem::copy_file(from, to, error);
    return error;
  }
};

}  // namespace

std::error_code FileIo::File::WriteAndClose(std::string_view bytes) {
  const std::error_code written = Write(bytes);
  const std::error_code closed = Close();
  return written ? written : closed;
}

std::error_code FileIo::AppendAll(const std::filesystem::path& path, std::string_view bytes) {
  auto opened = Append(path);
  return opened.error ? opened.error : opened.file->WriteAndClose(bytes);
}

FileIo& RealFileIo() {
  static SystemFileIo io;
  return io;
}

}  // namespace quorbin
