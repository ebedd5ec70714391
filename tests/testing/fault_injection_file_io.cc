#include "testing/fault_injection_file_io.h"

#include <memory>

namespace quorbin::testing {

std::error_code Errno(int number) {
  return std::error_code(number, std::generic_category());
}

class FaultInjectionFileIo::File : public FileIo::File {
 public:
  File(FaultInjectionFileIo& io, std::unique_ptr<FileIo::File> real)
      : io_(io), real_(std::move(real)) {}

  std::error_code Write(std::string_view bytes) override {
    if (const Fault* fault = io_.Next(Call::kWrite)) {
      if (fault->short_bytes) real_->Write(bytes.substr(0, *fault->short_bytes));
      return fault->error;
    }
    return real_->Write(bytes);
  }

  std::error_code Close() override {
    const Fault* fault = io_.Next(Call::kClose);
    // The file is closed all the same: a failed close still releases it.
    const std::error_code error = real_->Close();
    return fault ? fault->error : error;
  }

 private:
  FaultInjectionFileIo& io_;
  std::unique_ptr<FileIo::File> real_;
};

void FaultInjectionFileIo::Fail(Call call, int nth, std::error_code error) {
  faults_.push_back({call, nth, error, std::nullopt});
}

void FaultInjectionFileIo::ShortWrite(int nth, std::size_t bytes, std::error_code error) {
  faults_.push_back({Call::kWrite, nth, error, bytes});
}

const FaultInjectionFileIo::Fault* FaultInjectionFileIo::Next(Call call) {
  const int nth = ++calls_[static_cast<std::size_t>(call)];
  for (const Fault& fault : faults_) {
    if (fault.call == call && fault.nth == nth) return &fault;
  }
  return nullptr;
}

FileIo::Opened FaultInjectionFileIo::Wrap(Opened real) {
  if (real.error) return real;
  return {std::make_unique<File>(*this, std::move(real.file)), {}};
}

FileIo::Opened FaultInjectionFileIo::Append(const std::filesystem::path& path) {
  if (const Fault* fault = Next(Call::kAppend)) return {nullptr, fault->error};
  return Wrap(RealFileIo().Append(path));
}

FileIo::Opened FaultInjectionFileIo::Create(const std::filesystem::path& path) {
  if (const Fault* fault = Next(Call::kCreate)) return {nullptr, fault->error};
  return Wrap(RealFileIo().Create(path));
}

std::error_code FaultInjectionFileIo::Copy(const std::filesystem::path& from,
                                           const std::filesystem::path& to) {
  if (const Fault* fault = Next(Call::kCopy)) return fault->error;
  return RealFileIo().Copy(from, to);
}

}  // namespace quorbin::testing
