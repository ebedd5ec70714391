#include "support/activity_log.h"

#include <cstdio>
#include <exception>
#include <fstream>

#include "platform/executable.h"
#include "platform/local_time.h"

namespace quorbin {
namespace {

std::string TwoDigits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

// The lines that one message adds, as a rewrite of the whole file would leave
// them: every break ends a line, a trailing break leaves an empty line, and the
// first NUL ends the text.
std::vector<std::string> MessageLines(DateTime now, std::string_view message) {
  message = message.substr(0, message.find('\0'));
  std::string text = LogStamp(now);
  text += message;
  text += "\r\n";
  return SplitLines(text);
}

std::string EncodeLines(const std::vector<std::string>& lines, TextEncoding encoding) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return EncodeText(text, encoding);
}

// Reads units (bytes, or 16-bit units of UTF-16) and tells whether a rewrite as a
// line file would leave the file unchanged: only CR LF breaks, no NUL, a final
// CR LF unless the text is empty, nothing after the last whole unit.
class NormalFormCheck {
 public:
  explicit NormalFormCheck(TextEncoding encoding) : encoding_(encoding) {}

  bool Feed(std::string_view bytes) {
    for (const char byte : bytes) {
      if (!Unit(byte)) return false;
    }
    return true;
  }

  bool Finish() const { return pending_bytes_ == 0 && (previous_ == kNone || previous_ == '\n'); }

 private:
  static constexpr unsigned kNone = 0x110000;

  bool Unit(char byte) {
    unsigned unit = static_cast<unsigned char>(byte);
    if (encoding_ == TextEncoding::kUtf16Le || encoding_ == TextEncoding::kUtf16Be) {
      if (pending_bytes_ == 0) {
        first_byte_ = unit;
        pending_bytes_ = 1;
        return true;
      }
      pending_bytes_ = 0;
      unit = encoding_ == TextEncoding::kUtf16Le ? (unit << 8) | first_byte_
                                                 : (first_byte_ << 8) | unit;
    }
    const bool fine =
        unit != 0 && (previous_ != '\r' || unit == '\n') && (unit != '\n' || previous_ == '\r');
    previous_ = unit;
    return fine;
  }

  TextEncoding encoding_;
  unsigned previous_ = kNone;
  unsigned first_byte_ = 0;
  int pending_bytes_ = 0;
};

// The file's encoding when it is already in the form a rewrite would give it.
std::optional<TextEncoding> CheckNormalForm(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::string chunk(1 << 20, '\0');
  in.read(chunk.data(), 3);
  chunk.resize(static_cast<std::size_t>(in.gcount()));
  std::size_t mark = 0;
  const TextEncoding encoding = DetectEncoding(chunk, &mark);
  NormalFormCheck check(encoding);
  if (!check.Feed(std::string_view(chunk).substr(mark))) return std::nullopt;
  chunk.resize(1 << 20);
  while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
    if (!check.Feed(std::string_view(chunk.data(), static_cast<std::size_t>(in.gcount())))) {
      return std::nullopt;
    }
  }
  if (in.bad() || !check.Finish()) return std::nullopt;
  return encoding;
}

}  // namespace

std::string LogStamp(DateTime moment) {
  const auto& regional = platform::CurrentRegionalSettings();
  const CivilTime c = moment.ToCivil();
  char year[16];
  std::snprintf(year, sizeof year, "%04d", c.year);
  std::string stamp;
  stamp.reserve(32);
  stamp += '[';
  stamp += TwoDigits(c.day);
  stamp += regional.date_separator;
  stamp += TwoDigits(c.month);
  stamp += regional.date_separator;
  stamp += year;
  stamp += ' ';
  stamp += TwoDigits(c.hour);
  stamp += regional.time_separator;
  stamp += TwoDigits(c.minute);
  stamp += regional.time_separator;
  stamp += TwoDigits(c.second);
  stamp += "] : ";
  return stamp;
}

ActivityLog::ActivityLog(std::filesystem::path file, const Clock& clock, FileIo& io)
    : file_(std::move(file)), clock_(clock), io_(io) {}

std::filesystem::path ActivityLog::DefaultPath() {
  return platform::ExecutableDirectory() / "log_sync.txt";
}

void ActivityLog::WriteLog(std::string_view message) noexcept {
  try {
    const DateTime now = clock_.Now();
    last_log_time_ = now;
    Write(now, message);
  } catch (const std::exception&) {
    // A line that cannot be written is lost; the caller carries on.
  }
}

void ActivityLog::Write(DateTime now, std::string_view message) {
  const auto lines = MessageLines(now, message);
  // One status call for the usual case: the size of a regular file is only
  // known when that is what the log is.
  std::error_code error;
  const auto size = std::filesystem::file_size(file_, error);
  bool exists = true;
  if (error) {
    // A pipe or device under the log's name would make the open wait, and a log
    // whose size cannot be told cannot be kept: lose the line. Only a missing
    // log is created.
    if (std::filesystem::status(file_, error).type() != std::filesystem::file_type::not_found) {
      return;
    }
    exists = false;
  }
  if (exists && (!encoding_ || size != known_size_)) {
    auto probe = io_.Append(file_);  // fails on a read-only log
    if (probe.error) return;
    probe.file->Close();
    encoding_ = CheckNormalForm(file_);
    if (!encoding_) return RewriteWith(lines);
  }
  const TextEncoding encoding = exists ? *encoding_ : TextEncoding::kAnsi;
  const std::string bytes = EncodeLines(lines, encoding);
  if (io_.AppendAll(file_, bytes)) {
    encoding_.reset();  // a part of the line may be there: check the file again
    return;
  }
  encoding_ = encoding;
  known_size_ = (exists ? size : 0) + bytes.size();
}

void ActivityLog::RewriteWith(const std::vector<std::string>& lines) {
  LineFile log = ReadLineFile(file_);
  log.lines.insert(log.lines.end(), lines.begin(), lines.end());
  const std::string bytes = EncodeLineFile(log);
  auto opened = io_.Create(file_);
  if (opened.error || opened.file->WriteAndClose(bytes)) return;
  encoding_ = log.encoding;
  known_size_ = bytes.size();
}

}  // namespace quorbin
