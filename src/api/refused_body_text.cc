#include "api/refused_body_text.h"

#include "support/ascii_text.h"
#include "support/code_page.h"

namespace quorbin {
namespace {

// Browsers look for a meta charset in the first 1,024 bytes only.
constexpr std::size_t kMetaScanBytes = 1024;

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view Unquote(std::string_view text) {
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
      text.back() == text.front()) {
    return text.substr(1, text.size() - 2);
  }
  return text;
}

struct MediaType {
  std::string type;  // "text/html"
  std::string charset;
};

MediaType ParseMediaType(std::string_view content_type) {
  MediaType media;
  const std::size_t semicolon = content_type.find(';');
  media.type = AsciiLowerText(Trim(content_type.substr(0, semicolon)));
  std::string_view params =
      semicolon == std::string_view::npos ? std::string_view{} : content_type.substr(semicolon);
  while (!params.empty()) {
    params.remove_prefix(1);  // the ";"
    const std::size_t end = params.find(';');
    const std::string_view param = params.substr(0, end);
    params = end == std::string_view::npos ? std::string_view{} : params.substr(end);
    const std::size_t equals = param.find('=');
    if (equals == std::string_view::npos) continue;
    if (AsciiLowerText(Trim(param.substr(0, equals))) == "charset") {
      media.charset = Trim(Unquote(Trim(param.substr(equals + 1))));
    }
  }
  return media;
}

std::string Latin1ToUtf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) < 0x80) {
      text.push_back(c);
    } else {
      AppendUtf8(text, static_cast<unsigned char>(c));
    }
  }
  return text;
}

std::string AsciiToUtf8(std::string_view bytes) {
  std::string text(bytes);
  for (char& c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return text;
}

std::string CleanUtf8(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  std::string text;
  text.reserve(bytes.size());
  for (std::size_t pos = 0; pos < bytes.size();) AppendUtf8(text, NextCodePoint(bytes, pos));
  return text;
}

std::string Utf16BytesToUtf8(std::string_view bytes, bool big_endian) {
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto a = static_cast<unsigned char>(bytes[i]);
    const auto b = static_cast<unsigned char>(bytes[i + 1]);
    units += static_cast<char16_t>(big_endian ? (a << 8) | b : (b << 8) | a);
  }
  if (!units.empty() && units.front() == 0xFEFF) units.erase(0, 1);
  return Utf16ToUtf8(units);
}

std::string DecodeWithCharset(std::string_view bytes, std::string_view charset) {
  const std::string name = AsciiLowerText(Trim(charset));
  if (name == "utf-8" || name == "utf8" || name == "unicode-1-1-utf-8") return CleanUtf8(bytes);
  if (name == "utf-16le") return Utf16BytesToUtf8(bytes, false);
  if (name == "utf-16be") return Utf16BytesToUtf8(bytes, true);
  if (name == "utf-16" || name == "utf16") {
    return Utf16BytesToUtf8(bytes, !bytes.starts_with("\xFF\xFE"));
  }
  if (name == "us-ascii" || name == "ascii" || name == "us" || name == "iso646-us" ||
      name == "ansi_x3.4-1968" || name == "cp367") {
    return AsciiToUtf8(bytes);
  }
  if (name == "windows-1252" || name == "cp1252" || name == "x-cp1252") return AnsiToUtf8(bytes);
  return Latin1ToUtf8(bytes);  // ISO-8859-1 and every charset not recognised
}

bool IsHtmlType(std::string_view type) {
  return type == "text/html" || type == "text/html-sandboxed" || type == "application/xhtml+xml";
}

bool IsXmlApplicationType(std::string_view type) {
  if (type == "application/xml" || type == "application/xml-dtd" ||
      type == "application/xml-external-parsed-entity") {
    return true;
  }
  return !type.starts_with("text/") && type.ends_with("+xml");
}

bool IsXmlTextType(std::string_view type) {
  return type == "text/xml" || type == "text/xml-external-parsed-entity" ||
         (type.starts_with("text/") && type.ends_with("+xml"));
}

// The encoding pseudo-attribute of a leading XML declaration, or empty.
std::string XmlDeclaredEncoding(std::string_view body) {
  if (!body.starts_with("<?xml")) return {};
  const std::string_view declaration = body.substr(0, body.find("?>"));
  const std::size_t key = declaration.find("encoding");
  if (key == std::string_view::npos) return {};
  std::string_view rest = Trim(declaration.substr(key + 8));
  if (rest.empty() || rest.front() != '=') return {};
  rest = Trim(rest.substr(1));
  if (rest.empty() || (rest.front() != '"' && rest.front() != '\'')) return {};
  const std::size_t close = rest.find(rest.front(), 1);
  return close == std::string_view::npos ? std::string() : std::string(rest.substr(1, close - 1));
}

std::string DecodeXml(std::string_view body) {
  if (body.starts_with("\xEF\xBB\xBF")) return CleanUtf8(body);
  if (body.starts_with("\xFF\xFE")) return Utf16BytesToUtf8(body, false);
  if (body.starts_with("\xFE\xFF")) return Utf16BytesToUtf8(body, true);
  const std::string declared = XmlDeclaredEncoding(body);
  return DecodeWithCharset(body, declared.empty() ? "utf-8" : declared);
}

// One attribute of a tag at `pos`; false at the end of the tag.
bool NextAttribute(std::string_view tag, std::size_t& pos, std::string& name, std::string& value) {
  while (pos < tag.size() && (IsSpace(tag[pos]) || tag[pos] == '/')) ++pos;
  if (pos >= tag.size() || tag[pos] == '>') return false;
  const std::size_t start = pos;
  while (pos < tag.size() && !IsSpace(tag[pos]) && tag[pos] != '=' && tag[pos] != '>' &&
         tag[pos] != '/') {
    ++pos;
  }
  name = AsciiLowerText(tag.substr(start, pos - start));
  value.clear();
  while (pos < tag.size() && IsSpace(tag[pos])) ++pos;
  if (pos >= tag.size() || tag[pos] != '=') return true;
  ++pos;
  while (pos < tag.size() && IsSpace(tag[pos])) ++pos;
  if (pos < tag.size() && (tag[pos] == '"' || tag[pos] == '\'')) {
    const std::size_t close = tag.find(tag[pos], pos + 1);
    const std::size_t end = close == std::string_view::npos ? tag.size() : close;
    value = tag.substr(pos + 1, end - pos - 1);
    pos = end + 1;
  } else {
    const std::size_t begin = pos;
    while (pos < tag.size() && !IsSpace(tag[pos]) && tag[pos] != '>') ++pos;
    value = tag.substr(begin, pos - begin);
  }
  return true;
}

// The charset inside a content attribute such as "text/html; charset=utf-8".
std::string CharsetOfContent(std::string_view content) {
  const std::string lower = AsciiLowerText(content);
  const std::size_t key = lower.find("charset");
  if (key == std::string::npos) return {};
  std::string_view rest = Trim(content.substr(key + 7));
  if (rest.empty() || rest.front() != '=') return {};
  rest = Trim(rest.substr(1));
  if (!rest.empty() && (rest.front() == '"' || rest.front() == '\'')) {
    const std::size_t close = rest.find(rest.front(), 1);
    return close == std::string_view::npos ? std::string() : std::string(rest.substr(1, close - 1));
  }
  return std::string(rest.substr(0, rest.find_first_of("; \t")));
}

// The charset a meta element's attributes declare, or empty.
std::string CharsetOfMeta(std::string_view tag) {
  std::string name, value, content;
  bool content_type_equiv = false;
  for (std::size_t pos = 0; NextAttribute(tag, pos, name, value);) {
    if (name == "charset" && !Trim(value).empty()) return std::string(Trim(value));
    if (name == "http-equiv") content_type_equiv = AsciiLowerText(Trim(value)) == "content-type";
    if (name == "content") content = value;
  }
  return content_type_equiv ? CharsetOfContent(content) : std::string();
}

}  // namespace

std::string HtmlMetaCharset(std::string_view html) {
  html = html.substr(0, kMetaScanBytes);
  const std::string lower = AsciiLowerText(html);
  // Each tag is scanned once: the next search starts after its end, and a tag
  // without its ">" runs to the end of what is looked at.
  for (std::size_t at = lower.find("<meta"); at != std::string::npos;) {
    const std::size_t close = html.find('>', at);
    const std::size_t end = close == std::string_view::npos ? html.size() : close;
    const std::string_view tag = html.substr(at + 5, end - at - 5);
    if (tag.empty() || IsSpace(tag.front()) || tag.front() == '/') {  // not <metadata>
      if (std::string charset = CharsetOfMeta(tag); !charset.empty()) return charset;
    }
    if (end >= html.size()) break;
    at = lower.find("<meta", end + 1);
  }
  return {};
}

std::string DecodeRefusedBody(std::string_view body, std::string_view content_type) {
  const MediaType media = ParseMediaType(content_type);
  if (IsHtmlType(media.type)) {
    if (const std::string meta = HtmlMetaCharset(body); !meta.empty()) {
      return DecodeWithCharset(body, meta);
    }
  } else if (IsXmlApplicationType(media.type)) {
    return DecodeXml(body);
  }
  if (!media.charset.empty()) return DecodeWithCharset(body, media.charset);
  if (IsXmlTextType(media.type)) return AsciiToUtf8(body);
  return Latin1ToUtf8(body);  // text/ types without a charset, and bytes as code points
}

}  // namespace quorbin
