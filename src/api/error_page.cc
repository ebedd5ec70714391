#include "api/error_page.h"

#include <cstdio>
#include <memory>
#include <system_error>

#include "support/code_page.h"
#include "support/failure.h"
#include "support/line_file.h"
#include "support/paths.h"

namespace quorbin {
namespace {

// The text is converted and written in pieces of about this size, so that a
// page costs little memory beyond the text itself, however many lines it has.
constexpr std::size_t kPieceBytes = 64 * 1024;

// A page file open for writing; every failure names the file and carries the
// file system's reason ("Permission denied", "No space left on device").
class PageFile {
 public:
  PageFile(const std::filesystem::path& page, FileIo& io) : page_(page) {
    auto opened = io.Create(page);
    if (opened.error) Fail("Cannot create file", opened.error);
    file_ = std::move(opened.file);
  }

  void Write(std::string_view bytes) {
    if (const auto error = file_->Write(bytes)) Fail("Cannot write file", error);
  }

  void Close() {
    if (const auto error = file_->Close()) Fail("Cannot write file", error);
  }

 private:
  [[noreturn]] void Fail(const char* what, std::error_code error) const {
    throw Failure(std::string(what) + " \"" + Utf8FromPath(page_) + "\": " + error.message() + ".");
  }

  const std::filesystem::path& page_;
  std::unique_ptr<FileIo::File> file_;
};

// The end of the next piece of `text` from `start`: about kPieceBytes on, never
// inside a UTF-8 sequence.
std::size_t PieceEnd(std::string_view text, std::size_t start) {
  if (text.size() - start <= kPieceBytes) return text.size();
  std::size_t end = start + kPieceBytes;
  while (end > start && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return end > start ? end : start + kPieceBytes;
}

}  // namespace

std::string ProtocolErrorLogLine(const ProtocolError& error) {
  return std::string(kRefusalLogStart) + error.what() + ". ";
}

std::string ErrorPageName(DateTime moment) {
  const CivilTime t = moment.ToCivil();
  char name[64];
  std::snprintf(name, sizeof name, "cs_Sync_%04d-%02d-%02d-%02d-%02d-%02d.html", t.year, t.month,
                t.day, t.hour, t.minute, t.second);
  return name;
}

void CreateErrorFolder(const std::filesystem::path& folder) noexcept {
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
}

void WriteErrorPage(const std::filesystem::path& page, std::string_view text, FileIo& io) {
  text = text.substr(0, text.find('\0'));
  PageFile file(page, io);
  std::string piece;
  bool after_cr = false;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = PieceEnd(text, start);
    piece.clear();
    AppendWithCrLf(piece, Utf8ToAnsi(text.substr(start, end - start)), after_cr);
    file.Write(piece);
    start = end;
  }
  if (!text.empty() && text.back() != '\r' && text.back() != '\n') file.Write("\r\n");
  file.Close();
}

std::filesystem::path ReportProtocolError(const ProtocolError& error, ActivityLog& log,
                                          const Clock& clock,
                                          const std::filesystem::path& error_folder, FileIo& io) {
  log.WriteLog(ProtocolErrorLogLine(error));
  CreateErrorFolder(error_folder);
  const std::filesystem::path page = error_folder / ErrorPageName(clock.Now());
  WriteErrorPage(page, error.ErrorMessage(), io);
  return page;
}

std::filesystem::path ReportProtocolError(const ProtocolError& error, ActivityLog& log,
                                          const Clock& clock) {
  return ReportProtocolError(error, log, clock, ErrorFolder());
}

}  // namespace quorbin
