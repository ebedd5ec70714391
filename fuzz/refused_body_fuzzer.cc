// A refused answer's body as any bytes, decoded the way the HTTP client decodes
// it for ProtocolError: the first line is the Content-Type header, the rest the
// body. Checks that decoding never fails, that the text stays within a small
// multiple of the body, that the meta charset comes from the first 1,024 bytes
// only, and that the same bytes always give the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "api/refused_body_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t line_end = input.find('\n');
  const std::string_view content_type = input.substr(0, line_end);
  const std::string_view body =
      line_end == std::string_view::npos ? std::string_view{} : input.substr(line_end + 1);

  const std::string text = quorbin::DecodeRefusedBody(body, content_type);
  // At most three bytes of UTF-8 for every byte (UTF-16: for every two).
  if (text.size() > 3 * body.size()) std::abort();
  if (quorbin::DecodeRefusedBody(body, content_type) != text) std::abort();

  const std::string charset = quorbin::HtmlMetaCharset(body);
  if (charset.size() > 1024) std::abort();
  if (body.size() > 1024 && quorbin::HtmlMetaCharset(body.substr(0, 1024)) != charset) {
    std::abort();
  }
  return 0;
}
