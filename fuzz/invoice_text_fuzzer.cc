// An invoice file as any bytes, turned into the text the payload carries
// (InvoiceTextOf) and percent-encoded (PercentEncode). Checks that the text is
// lines each ended by CR LF, without NUL, and reads back unchanged as a UTF-8
// file; that encoding fails only on a surrogate that is not part of a pair; and
// that the encoded text holds only the characters kept as they are and "%XX",
// and decodes back to the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/code_page.h"
#include "support/failure.h"
#include "sync/invoice_payload.h"
#include "sync/percent_encoding.h"

namespace {

constexpr std::string_view kAlwaysEncoded = "*<>#%\"{}|\\^[]`";

bool IsSurrogate(char32_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;  // lower case is not what the encoding writes
}

std::string PercentDecode(std::string_view encoded) {
  std::string text;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    const char c = encoded[i];
    if (c != '%') {
      if (c < 0x21 || c > 0x7F || kAlwaysEncoded.find(c) != std::string_view::npos) std::abort();
      text += c;
      continue;
    }
    if (i + 2 >= encoded.size()) std::abort();
    const int high = HexValue(encoded[i + 1]);
    const int low = HexValue(encoded[i + 2]);
    if (high < 0 || low < 0) std::abort();
    text += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string text = quorbin::InvoiceTextOf(bytes);

  if (text.find('\0') != std::string::npos) std::abort();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool cr = text[i] == '\r';
    const bool lf = text[i] == '\n';
    if (cr && (i + 1 >= text.size() || text[i + 1] != '\n')) std::abort();
    if (lf && (i == 0 || text[i - 1] != '\r')) std::abort();
  }
  if (!text.empty() && !text.ends_with("\r\n")) std::abort();
  if (quorbin::InvoiceTextOf("\xEF\xBB\xBF" + text) != text) std::abort();

  bool has_surrogate = false;
  for (std::size_t pos = 0; pos < text.size();) {
    if (IsSurrogate(quorbin::NextCodePoint(text, pos))) has_surrogate = true;
  }
  std::string encoded;
  try {
    encoded = quorbin::PercentEncode(text);
  } catch (const quorbin::Failure&) {
    if (!has_surrogate) std::abort();
    return 0;
  }
  // Without surrogates the round trip is exact; a pair comes back as one character.
  if (!has_surrogate && PercentDecode(encoded) != text) std::abort();
  if (has_surrogate) PercentDecode(encoded);
  return 0;
}
