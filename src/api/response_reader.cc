#include "api/response_reader.h"

#include <algorithm>
#include <utility>

#include "support/ascii_text.h"
#include "support/code_page.h"
#include "support/failure.h"

namespace quorbin {
namespace {

constexpr std::size_t kMaxLineBytes = 64 * 1024;
constexpr std::size_t kMaxHeadBytes = 1024 * 1024;
constexpr std::size_t kReceiveBytes = 16 * 1024;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) AppendUtf8(text, static_cast<unsigned char>(c));
  return text;
}

bool HasNoBody(int status_code) {
  return (status_code >= 100 && status_code < 200) || status_code == 204 || status_code == 304;
}

std::optional<std::size_t> ParseDecimal(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::size_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::size_t>(c - '0');
  }
  return value;
}

std::optional<std::size_t> ParseHex(std::string_view text) {
  if (text.empty() || text.size() > 15) return std::nullopt;
  std::size_t value = 0;
  for (const char c : text) {
    const char l = AsciiLower(c);
    const int digit = (c >= '0' && c <= '9') ? c - '0' : (l >= 'a' && l <= 'f') ? l - 'a' + 10 : -1;
    if (digit < 0) return std::nullopt;
    value = value * 16 + static_cast<std::size_t>(digit);
  }
  return value;
}

}  // namespace

int StatusCodeOf(std::string_view status_line) {
  const std::size_t blank = status_line.find(' ');
  if (blank == std::string_view::npos) return -1;
  std::string_view word = Trim(status_line.substr(blank + 1));
  word = word.substr(0, word.find(' '));
  word = word.substr(0, word.find('.'));
  const auto value = ParseDecimal(word);
  return value && *value <= 999'999'999 ? static_cast<int>(*value) : -1;
}

std::optional<std::string> ResponseHead::Header(std::string_view name) const {
  for (const auto& header : headers) {
    if (EqualsIgnoringCase(header.name, name)) return header.value;
  }
  return std::nullopt;
}

std::vector<std::string> ResponseHead::Headers(std::string_view name) const {
  std::vector<std::string> values;
  for (const auto& header : headers) {
    if (EqualsIgnoringCase(header.name, name)) values.push_back(header.value);
  }
  return values;
}

bool ResponseReader::Fill() {
  if (peer_closed_) return false;
  char chunk[kReceiveBytes];
  const std::size_t count = source_.Receive(chunk, sizeof chunk);
  if (count == 0) {
    peer_closed_ = true;
    return false;
  }
  buffer_.append(chunk, count);
  return true;
}

std::string ResponseReader::ReadLine() {
  std::size_t searched = 0;
  for (;;) {
    const std::size_t lf = buffer_.find('\n', searched);
    if (lf != std::string::npos) {
      std::string line = buffer_.substr(0, lf);
      buffer_.erase(0, lf + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    if (buffer_.size() > kMaxLineBytes) throw Failure("Response line too long.");
    searched = buffer_.size();
    if (!Fill()) throw Failure(std::string(kClosedGracefully));
  }
}

std::string ResponseReader::ReadHeadLine() {
  std::string line = ReadLine();
  head_bytes_ += line.size() + 2;
  if (head_bytes_ > kMaxHeadBytes) throw Failure("Response head too long.");
  return line;
}

ResponseHead ResponseReader::ReadHead() {
  ResponseHead head;
  const std::string status_line = ReadHeadLine();
  head.status_line = Latin1ToUtf8(status_line);
  head.status_code = StatusCodeOf(status_line);
  for (;;) {
    const std::string line = ReadHeadLine();
    if (line.empty()) break;
    if ((line.front() == ' ' || line.front() == '\t') && !head.headers.empty()) {
      head.headers.back().value += " " + std::string(Trim(line));  // a folded line goes on
      continue;
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    head.headers.push_back({std::string(Trim(std::string_view(line).substr(0, colon))),
                            std::string(Trim(std::string_view(line).substr(colon + 1)))});
  }
  return head;
}

void ResponseReader::CheckBodySize(std::size_t size) const {
  if (size > max_body_bytes_) {
    throw Failure("Response body larger than " + std::to_string(max_body_bytes_) + " bytes.");
  }
}

std::string ResponseReader::ReadExactly(std::size_t count) {
  while (buffer_.size() < count) {
    if (!Fill()) throw Failure(std::string(kClosedGracefully));
  }
  std::string bytes = buffer_.substr(0, count);
  buffer_.erase(0, count);
  return bytes;
}

std::string ResponseReader::ReadChunked() {
  chunked_body_.clear();
  for (;;) {
    const std::string line = ReadLine();
    const std::string_view size_text = Trim(std::string_view(line).substr(0, line.find(';')));
    const auto size = ParseHex(size_text);
    if (!size) throw Failure("Invalid chunk size in the response.");
    if (*size == 0) break;
    CheckBodySize(chunked_body_.size() + *size);
    chunked_body_ += ReadExactly(*size);
    // The chunk's data ends with CR LF; anything else means the framing is lost.
    if (!ReadLine().empty()) throw Failure("Invalid chunk in the response.");
  }
  // Trailer lines up to the empty line, counted with the heads; a server that
  // closes instead ends them too.
  for (;;) {
    std::string line;
    try {
      line = ReadHeadLine();
    } catch (const Failure&) {
      if (peer_closed_) break;
      throw;
    }
    if (line.empty()) break;
  }
  return std::exchange(chunked_body_, {});
}

std::string ResponseReader::ReadUntilClose() {
  do {
    CheckBodySize(buffer_.size());
  } while (Fill());
  return std::exchange(buffer_, {});
}

std::string ResponseReader::ReadBody(const ResponseHead& head) {
  if (HasNoBody(head.status_code)) return {};
  if (const auto coding = head.Header("Transfer-Encoding")) {
    std::string_view last = *coding;
    last = Trim(last.substr(last.rfind(',') + 1));
    return EqualsIgnoringCase(last, "chunked") ? ReadChunked() : ReadUntilClose();
  }
  const std::vector<std::string> lengths = head.Headers("Content-Length");
  if (lengths.empty()) return ReadUntilClose();
  std::optional<std::size_t> length;
  for (const auto& text : lengths) {
    const auto value = ParseDecimal(Trim(text));
    if (!value || (length && *length != *value)) {
      throw Failure("Invalid Content-Length in the response.");
    }
    length = value;
  }
  CheckBodySize(*length);
  return ReadExactly(*length);
}

}  // namespace quorbin
