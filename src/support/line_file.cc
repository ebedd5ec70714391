#include "support/line_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "support/code_page.h"
#include "support/failure.h"
#include "support/paths.h"

namespace quorbin {
namespace {

std::u16string Utf16Units(std::string_view bytes, bool big_endian) {
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto first = static_cast<unsigned char>(bytes[i]);
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    units += static_cast<char16_t>(big_endian ? (first << 8) | second : (second << 8) | first);
  }
  return units;
}

std::string Utf16Bytes(std::string_view utf8, bool big_endian) {
  std::string bytes;
  for (const char16_t unit : Utf8ToUtf16(utf8)) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    bytes += big_endian ? high : low;
    bytes += big_endian ? low : high;
  }
  return bytes;
}

// Malformed UTF-8 is replaced, as the system's decoder does.
std::string CleanUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t pos = 0; pos < bytes.size();) AppendUtf8(out, NextCodePoint(bytes, pos));
  return out;
}

}  // namespace

TextEncoding DetectEncoding(std::string_view bytes, std::size_t* mark_length) {
  std::size_t length = 0;
  TextEncoding encoding = TextEncoding::kAnsi;
  if (bytes.starts_with("\xEF\xBB\xBF")) {
    encoding = TextEncoding::kUtf8, length = 3;
  } else if (bytes.starts_with("\xFF\xFE")) {
    encoding = TextEncoding::kUtf16Le, length = 2;
  } else if (bytes.starts_with("\xFE\xFF")) {
    encoding = TextEncoding::kUtf16Be, length = 2;
  }
  if (mark_length) *mark_length = length;
  return encoding;
}

std::string DecodeText(std::string_view bytes, TextEncoding* encoding_out) {
  std::size_t mark = 0;
  const TextEncoding encoding = DetectEncoding(bytes, &mark);
  if (encoding_out) *encoding_out = encoding;
  bytes.remove_prefix(mark);
  std::string text;
  switch (encoding) {
    case TextEncoding::kAnsi:
      text = AnsiToUtf8(bytes);
      break;
    case TextEncoding::kUtf8:
      text = CleanUtf8(bytes);
      break;
    case TextEncoding::kUtf16Le:
    case TextEncoding::kUtf16Be:
      text = Utf16ToUtf8(Utf16Units(bytes, encoding == TextEncoding::kUtf16Be));
      break;
  }
  if (const auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
  return text;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
  return lines;
}

std::string EncodeText(std::string_view utf8, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kAnsi:
      return Utf8ToAnsi(utf8);
    case TextEncoding::kUtf8:
      return std::string(utf8);
    case TextEncoding::kUtf16Le:
      return Utf16Bytes(utf8, false);
    case TextEncoding::kUtf16Be:
      return Utf16Bytes(utf8, true);
  }
  return {};
}

std::string ByteOrderMark(TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kUtf8:
      return "\xEF\xBB\xBF";
    case TextEncoding::kUtf16Le:
      return "\xFF\xFE";
    case TextEncoding::kUtf16Be:
      return "\xFE\xFF";
    case TextEncoding::kAnsi:
      break;
  }
  return {};
}

LineFile DecodeLineFile(std::string_view bytes) {
  LineFile file;
  file.lines = SplitLines(DecodeText(bytes, &file.encoding));
  return file;
}

void AppendWithCrLf(std::string& out, std::string_view text, bool& after_cr) {
  out.reserve(out.size() + text.size() + text.size() / 32 + 2);
  const char* at = text.data();
  const char* const end = at + text.size();
  while (at < end) {
    if (after_cr && *at == '\n') ++at;  // the LF of a CR LF
    after_cr = false;
    const char* run_end = at;  // a run without breaks
    while (run_end < end && *run_end != '\r' && *run_end != '\n') ++run_end;
    out.append(at, static_cast<std::size_t>(run_end - at));
    if (run_end == end) break;
    out.append("\r\n");
    after_cr = *run_end == '\r';
    at = run_end + 1;
  }
}

std::string CrLfLines(std::string_view text) {
  std::string out;
  bool after_cr = false;
  AppendWithCrLf(out, text, after_cr);
  if (!text.empty() && text.back() != '\r' && text.back() != '\n') out.append("\r\n");
  return out;
}

std::string EncodeLineFile(const LineFile& file) {
  std::string text;
  for (const auto& line : file.lines) {
    text += line;
    text += "\r\n";
  }
  return ByteOrderMark(file.encoding) + EncodeText(text, file.encoding);
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure("Cannot open file \"" + Utf8FromPath(path) + "\".");
  std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) throw Failure("Cannot read file \"" + Utf8FromPath(path) + "\".");
  return bytes;
}

std::string ReadRegularFileBytes(const std::filesystem::path& path, std::size_t max_bytes) {
  // The size is asked first: it succeeds only for a regular file, so the usual
  // case needs one status call.
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error) {
    std::error_code status_error;
    const auto status = std::filesystem::status(path, status_error);
    if (status_error || status.type() == std::filesystem::file_type::not_found) {
      throw Failure("Cannot open file \"" + Utf8FromPath(path) + "\".");
    }
    if (!std::filesystem::is_regular_file(status)) {
      throw Failure("Cannot open file \"" + Utf8FromPath(path) + "\": it is not a regular file.");
    }
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Failure("Cannot open file \"" + Utf8FromPath(path) + "\".");
  const auto too_large = [&] {
    return Failure("File \"" + Utf8FromPath(path) + "\" is larger than " +
                   std::to_string(max_bytes) + " bytes.");
  };
  if (!error && size > max_bytes) throw too_large();
  // Read one byte beyond the limit, in case the file grew since its size was taken.
  std::string bytes(error ? std::size_t{64} << 10 : static_cast<std::size_t>(size) + 1, '\0');
  std::size_t filled = 0;
  while (in && filled <= max_bytes) {
    if (filled == bytes.size()) bytes.resize(std::min(bytes.size() * 2, max_bytes + 1));
    in.read(bytes.data() + filled, static_cast<std::streamsize>(bytes.size() - filled));
    filled += static_cast<std::size_t>(in.gcount());
  }
  if (in.bad()) throw Failure("Cannot read file \"" + Utf8FromPath(path) + "\".");
  if (filled > max_bytes) throw too_large();
  bytes.resize(filled);
  return bytes;
}

namespace {

// Opening a pipe waits for its other end, a device may never answer: a line file
// that exists is opened only when it is a regular file (or a link to one).
void RequireRegularOrMissing(const std::filesystem::path& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return;
  if (error || !std::filesystem::is_regular_file(status)) {
    throw Failure("Cannot open file \"" + Utf8FromPath(path) + "\": it is not a regular file.");
  }
}

}  // namespace

LineFile ReadLineFile(const std::filesystem::path& path) {
  RequireRegularOrMissing(path);
  return DecodeLineFile(ReadFileBytes(path));
}

void WriteLineFile(const std::filesystem::path& path, const LineFile& file) {
  RequireRegularOrMissing(path);
  const std::string bytes = EncodeLineFile(file);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw Failure("Cannot create file \"" + Utf8FromPath(path) + "\".");
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw Failure("Cannot write file \"" + Utf8FromPath(path) + "\".");
}

}  // namespace quorbin
