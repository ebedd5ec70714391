// An answer from a server as any bytes, read the way the HTTP client reads one:
// heads (100 answers skipped) and the body by its framing, under a small body cap.
// Checks that reading ends in an answer or a Failure, never anything else; that
// a body respects the cap and its Content-Length; and that the outcome does not
// depend on how the bytes were cut into receives (heads, body and failure
// messages alike), for answers whose lines stay below the line limit.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "api/response_reader.h"
#include "support/failure.h"

namespace {

constexpr std::size_t kBodyCap = 4096;

// Hands out the bytes in pieces whose sizes follow `pattern`, never more than asked.
class PiecewiseSource final : public quorbin::ByteSource {
 public:
  PiecewiseSource(std::string_view bytes, std::string_view pattern)
      : bytes_(bytes), pattern_(pattern) {}

  std::size_t Receive(char* buffer, std::size_t capacity) override {
    if (bytes_.empty()) return 0;
    std::size_t piece = bytes_.size();
    if (!pattern_.empty()) {
      piece = 1 + static_cast<unsigned char>(pattern_[turn_++ % pattern_.size()]) % 97;
    }
    piece = std::min({piece, capacity, bytes_.size()});
    bytes_.copy(buffer, piece);
    bytes_.remove_prefix(piece);
    return piece;
  }

 private:
  std::string_view bytes_;
  std::string_view pattern_;
  std::size_t turn_ = 0;
};

// Everything the reader made of the bytes, as one comparable text.
std::string ReadAll(std::string_view bytes, std::string_view pattern) {
  PiecewiseSource source(bytes, pattern);
  quorbin::ResponseReader reader(source, kBodyCap);
  std::string outcome;
  try {
    quorbin::ResponseHead head;
    do {
      head = reader.ReadHead();
      if (head.status_code < -1 || head.status_code > 999'999'999) std::abort();
      outcome += head.status_line + '\n';
      for (const auto& header : head.headers) outcome += header.name + ':' + header.value + '\n';
    } while (head.status_code == 100);
    const std::string body = reader.ReadBody(head);
    if (body.size() > kBodyCap) std::abort();
    const int code = head.status_code;
    const bool bodiless = (code >= 100 && code < 200) || code == 204 || code == 304;
    if (bodiless && !body.empty()) std::abort();
    const auto lengths = head.Headers("Content-Length");
    if (!bodiless && !head.Header("Transfer-Encoding") && !lengths.empty()) {
      const std::string& length = lengths.front();
      const bool plain = !length.empty() && length.size() <= 18 &&
                         length.find_first_not_of("0123456789") == std::string::npos;
      if (plain && std::stoull(length) != body.size()) std::abort();
    }
    outcome += "body:" + body;
  } catch (const quorbin::Failure& failure) {
    outcome += std::string("failure:") + failure.what();
  }
  return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first bytes choose how the answer is cut; the rest is the answer.
  const std::size_t pattern_size = std::min<std::size_t>(data[0] % 8, size - 1);
  const std::string_view pattern(reinterpret_cast<const char*>(data) + 1, pattern_size);
  const std::string_view answer(reinterpret_cast<const char*>(data) + 1 + pattern_size,
                                size - 1 - pattern_size);
  const std::string whole = ReadAll(answer, {});
  if (answer.size() < 60'000 && ReadAll(answer, pattern.empty() ? "\x00" : pattern) != whole) {
    std::abort();
  }
  return 0;
}
