#include "support/json_string_content.h"

namespace quorbin {
namespace {

// The short form of `c` when it has one, else nullptr.
const char* ShortForm(char c) {
  switch (c) {
    case '\b':
      return "\\b";
    case '\f':
      return "\\f";
    case '\n':
      return "\\n";
    case '\r':
      return "\\r";
    case '\t':
      return "\\t";
    default:
      return nullptr;
  }
}

void AppendUnicodeEscape(std::string& out, unsigned char c) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "\\u00";
  out += kHex[c >> 4];
  out += kHex[c & 0x0F];
}

}  // namespace

std::string JsonStringContent(std::string_view text, ControlEscapes controls) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte >= 0x20) {
      out += c;
    } else if (const char* short_form = ShortForm(c);
               short_form && controls == ControlEscapes::kShortForms) {
      out += short_form;
    } else {
      AppendUnicodeEscape(out, byte);
    }
  }
  return out;
}

}  // namespace quorbin
