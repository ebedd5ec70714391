#include "api/error_page.h"

#include <cerrno>
#include <cstdio>
#include <fstream>
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
  explicit PageFile(const std::filesystem::path& page) : page_(page) {
    errno = 0;
    out_.open(page, std::ios::binary | std::ios::trunc);
    if (!out_) Fail("Cannot create file");
  }

  void Write(std::string_view bytes) {
    errno = 0;
    out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out_) Fail("Cannot write file");
  }

  void Close() {
    errno = 0;
    out_.close();
    if (!out_) Fail("Cannot write file");
  }

 private:
  [[noreturn]] void Fail(const char* what) const {
    const int number = errno;
    const std::string reason =
        number != 0 ? std::generic_category().message(number) : "Input/output error";
    throw Failure(std::string(what) + " \"" + Utf8FromPath(page_) + "\": " + reason + ".");
  }

  const std::filesystem::path& page_;
  std::ofstream out_;
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

void WriteErrorPage(const std::filesystem::path& page, std::string_view text) {
  text = text.substr(0, text.find('\0'));
  PageFile file(page);
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
                                          const std::filesystem::path& error_folder) {
  log.WriteLog(ProtocolErrorLogLine(error));
  CreateErrorFolder(error_folder);
  const std::filesystem::path page = error_folder / ErrorPageName(clock.Now());
  WriteErrorPage(page, error.ErrorMessage());
  return page;
}

std::filesystem::path ReportProtocolError(const ProtocolError& error, ActivityLog& log,
                                          const Clock& clock) {
  return ReportProtocolError(error, log, clock, ErrorFolder());
}

}  // namespace quorbin
