#include "sync/plain_xml_reader.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "support/code_page.h"

namespace quorbin {
namespace {

// Beyond these the document is left to libxml2 (whose own limits start at 256
// levels and ten million characters).
constexpr std::size_t kMaxPlainBytes = std::size_t{1} << 20;
constexpr std::size_t kMaxDepth = 128;
constexpr std::size_t kMaxNameLength = 256;

// The namespace names reserved for the prefixes xml and xmlns.
constexpr std::string_view kXmlNamespace = "http://www.w3.org/XML/1998/namespace";
constexpr std::string_view kXmlnsNamespace = "http://www.w3.org/2000/xmlns/";

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
bool IsNameStart(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
}
// A character XML allows.
bool IsXmlChar(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

bool IsUnreserved(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

// A namespace URI of the plainest forms, which every URI parser takes alike:
// http(s)://host.name/path/segments#fragment, or urn:name:more, of unreserved
// characters only.
bool IsPlainNamespaceUri(std::string_view uri) {
  auto plain_run = [](std::string_view text, std::string_view separators) {
    bool after_separator = true;
    for (const char c : text) {
      const bool separator = separators.find(c) != std::string_view::npos;
      if (!separator && !IsUnreserved(c)) return false;
      if (separator && after_separator && separators != "/") return false;
      after_separator = separator;
    }
    return !text.empty() && !after_separator;
  };
  if (uri.starts_with("urn:")) return plain_run(uri.substr(4), ":");
  std::string_view rest;
  if (uri.starts_with("http://")) {
    rest = uri.substr(7);
  } else if (uri.starts_with("https://")) {
    rest = uri.substr(8);
  } else {
    return false;
  }
  std::string_view fragment;
  if (const std::size_t hash = rest.find('#'); hash != std::string_view::npos) {
    fragment = rest.substr(hash + 1);
    rest = rest.substr(0, hash);
  }
  const std::size_t slash = rest.find('/');
  const std::string_view host = rest.substr(0, slash);
  const std::string_view path = slash == std::string_view::npos ? "" : rest.substr(slash);
  if (!plain_run(host, ".")) return false;
  for (const char c : path) {
    if (c != '/' && !IsUnreserved(c)) return false;
  }
  return std::all_of(fragment.begin(), fragment.end(), IsUnreserved);
}

struct Attribute {
  std::string_view prefix;
  std::string_view local;
  const std::string* value;  // in the reader's reused values
};

struct Declaration {
  std::string_view prefix;  // empty for the default namespace
  std::string uri;
};

class Reader {
 public:
  Reader(std::string_view bytes, XmlTreeBuilder& builder) : bytes_(bytes), builder_(builder) {}

  bool Read() {
    if (bytes_.size() > kMaxPlainBytes) return false;
    if (Ahead("<?xml") && !XmlDeclaration()) return false;
    if (!Misc() || !Ahead("<") || !Element()) return false;
    return Misc() && at_ == bytes_.size();
  }

 private:
  struct Open {
    std::string_view qname;
    std::size_t declarations;  // in `declarations_` before this element's own
  };

  bool Ahead(std::string_view text) const {
    return bytes_.size() - at_ >= text.size() &&
           std::char_traits<char>::compare(bytes_.data() + at_, text.data(), text.size()) == 0;
  }
  bool More() const { return at_ < bytes_.size(); }
  char Peek() const { return bytes_[at_]; }
  bool Skip(std::string_view text) {
    if (!Ahead(text)) return false;
    at_ += text.size();
    return true;
  }
  bool SkipSpaces() {
    const std::size_t start = at_;
    while (More() && IsSpace(Peek())) ++at_;
    return at_ > start;
  }

  // `<?xml version="1.0"` and optionally `encoding="UTF-8"`, then `?>`.
  bool XmlDeclaration() {
    at_ += 5;
    if (!SkipSpaces() || !Skip("version")) return false;
    std::string_view version;
    if (!Equals() || !QuotedName(version) || version != "1.0") return false;
    const bool spaced = SkipSpaces();
    if (spaced && Skip("encoding")) {
      std::string_view encoding;
      if (!Equals() || !QuotedName(encoding)) return false;
      if (encoding != "UTF-8" && encoding != "utf-8") return false;
      SkipSpaces();
    }
    return Skip("?>");
  }
  bool Equals() {
    SkipSpaces();
    if (!Skip("=")) return false;
    SkipSpaces();
    return true;
  }
  bool QuotedName(std::string_view& value) {
    if (!More() || (Peek() != '"' && Peek() != '\'')) return false;
    const char quote = bytes_[at_++];
    const std::size_t end = bytes_.find(quote, at_);
    if (end == std::string_view::npos || end - at_ > 32) return false;
    value = bytes_.substr(at_, end - at_);
    at_ = end + 1;
    return true;
  }

  // White space and comments outside the root element.
  bool Misc() {
    for (;;) {
      SkipSpaces();
      if (!Ahead("<!--")) return true;
      if (!Comment()) return false;
    }
  }

  // `<!--` up to the first `--`, which must close it.
  bool Comment() {
    at_ += 4;
    const std::size_t end = bytes_.find("--", at_);
    if (end == std::string_view::npos || end + 2 >= bytes_.size() || bytes_[end + 2] != '>') {
      return false;
    }
    for (std::size_t i = at_; i < end;) {
      if (!CharacterAt(i)) return false;
    }
    at_ = end + 3;
    builder_.AddOther();
    return true;
  }

  // Checks the character at `i` (UTF-8, allowed by XML) and moves past it.
  bool CharacterAt(std::size_t& i) const {
    const auto byte = static_cast<unsigned char>(bytes_[i]);
    if (byte < 0x80) {
      ++i;
      return byte >= 0x20 || byte == '\t' || byte == '\n' || byte == '\r';
    }
    // A sequence the decoder cannot take gives U+FFFD for its first byte alone;
    // surrogates and the non-characters are no XML characters.
    const std::size_t start = i;
    const char32_t c = NextCodePoint(bytes_, i);
    return i - start > 1 && IsXmlChar(c);
  }

  bool Name(std::string_view& name) {
    const std::size_t start = at_;
    if (!More() || !IsNameStart(Peek())) return false;
    while (More() && IsNameChar(Peek())) ++at_;
    if (More() && Peek() == ':') {
      ++at_;
      if (!More() || !IsNameStart(Peek())) return false;
      while (More() && IsNameChar(Peek())) ++at_;
    }
    name = bytes_.substr(start, at_ - start);
    return name.size() <= kMaxNameLength;
  }
  static std::string_view PrefixOf(std::string_view qname) {
    const std::size_t colon = qname.find(':');
    return colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
  }
  static std::string_view LocalOf(std::string_view qname) {
    const std::size_t colon = qname.find(':');
    return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
  }

  // `&...;` at `at_`, decoded onto `out`.
  bool Reference(std::string& out) {
    const std::size_t end = bytes_.find(';', at_);
    if (end == std::string_view::npos || end - at_ > 12) return false;
    const std::string_view name = bytes_.substr(at_ + 1, end - at_ - 1);
    at_ = end + 1;
    static constexpr std::pair<std::string_view, char> kPredefined[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& [entity, c] : kPredefined) {
      if (name == entity) {
        out += c;
        return true;
      }
    }
    if (name.size() < 2 || name[0] != '#') return false;
    const bool hex = name[1] == 'x';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > 7) return false;
    char32_t c = 0;
    for (const char d : digits) {
      int value;
      if (d >= '0' && d <= '9') {
        value = d - '0';
      } else if (hex && d >= 'a' && d <= 'f') {
        value = d - 'a' + 10;
      } else if (hex && d >= 'A' && d <= 'F') {
        value = d - 'A' + 10;
      } else {
        return false;
      }
      c = c * (hex ? 16 : 10) + static_cast<char32_t>(value);
    }
    if (!IsXmlChar(c)) return false;
    AppendUtf8(out, c);
    return true;
  }

  // A quoted attribute value, decoded and with its white space made blanks.
  bool AttributeValue(std::string& value) {
    if (!More() || (Peek() != '"' && Peek() != '\'')) return false;
    const char quote = bytes_[at_++];
    for (;;) {
      const std::size_t run = at_;  // plain characters, taken at once
      while (More() && IsPlainValue(Peek(), quote)) ++at_;
      value.append(bytes_.substr(run, at_ - run));
      if (!More()) return false;
      const char c = Peek();
      if (c == quote) break;
      if (c == '<') return false;
      if (c == '&') {
        if (!Reference(value)) return false;
      } else if (IsSpace(c)) {
        value += ' ';
        ++at_;
        if (c == '\r' && More() && Peek() == '\n') ++at_;  // one break, one blank
      } else {
        const std::size_t start = at_;
        if (!CharacterAt(at_)) return false;
        value.append(bytes_.substr(start, at_ - start));
      }
    }
    ++at_;
    return true;
  }
  // ASCII that stands for itself in an attribute value quoted by `quote`.
  static bool IsPlainValue(char c, char quote) {
    return c > 0x20 && c < 0x7F && c != '<' && c != '&' && c != quote;
  }

  // `<name attributes>` or `<name attributes/>` at `at_`.
  bool StartTag() {
    ++at_;
    std::string_view qname;
    if (!Name(qname)) return false;
    attributes_.clear();
    names_.clear();
    values_used_ = 0;
    const std::size_t outer_declarations = declarations_.size();
    for (;;) {
      const bool spaced = SkipSpaces();
      if (!More()) return false;
      if (Peek() == '>' || Peek() == '/') break;
      std::string_view name;
      if (!spaced || !Name(name) || !Equals()) return false;
      std::string& value = NextValue();
      const std::size_t raw_value = at_;
      if (!AttributeValue(value)) return false;
      names_.push_back(name);
      if (name == "xmlns" || PrefixOf(name) == "xmlns") {
        // The prefixes xml and xmlns and their two names are reserved: libxml2
        // refuses every declaration of them but xml bound to its own name, which
        // it takes without declaring anything. It keeps a reference to an
        // ampersand in a namespace as written.
        const std::string_view declared = name == "xmlns" ? std::string_view() : LocalOf(name);
        if (declared == "xml" || declared == "xmlns" || value == kXmlNamespace ||
            value == kXmlnsNamespace || !IsPlainNamespaceUri(value) ||
            bytes_.substr(raw_value, at_ - raw_value).find('&') != std::string_view::npos) {
          return false;
        }
        declarations_.push_back({declared, value});
      } else if (!PrefixOf(name).empty()) {
        return false;  // namespaced attributes are left to libxml2
      } else {
        attributes_.push_back({{}, name, &value});
      }
    }
    const bool empty = Skip("/>");
    if (!empty && !Skip(">")) return false;
    if (RepeatsAName()) return false;

    const std::string_view prefix = PrefixOf(qname);
    const std::string* uri = Namespace(prefix);
    if (!prefix.empty() && !uri) return false;
    if (open_.size() >= kMaxDepth) return false;
    open_.push_back({qname, outer_declarations});
    if (builder_.BeginElement(prefix, LocalOf(qname), uri ? std::string_view(*uri) : "")) {
      for (const Attribute& attribute : attributes_) {
        builder_.AddAttribute(attribute.prefix, attribute.local, *attribute.value);
      }
    }
    return !empty || EndElement();
  }

  // Whether two attributes of the tag at hand, namespace declarations included,
  // have one qualified name (which libxml2 refuses). No other two can share a
  // namespace and a local name, as the only prefixed attributes read plainly are
  // declarations. Sorted, so that a tag of any size costs n log n.
  bool RepeatsAName() {
    std::sort(names_.begin(), names_.end());
    return std::adjacent_find(names_.begin(), names_.end()) != names_.end();
  }

  std::string& NextValue() {
    if (values_used_ == values_.size()) values_.push_back(std::make_unique<std::string>());
    std::string& value = *values_[values_used_++];
    value.clear();
    return value;
  }

  // The URI bound to `prefix` (empty: the default namespace) where the parser is.
  const std::string* Namespace(std::string_view prefix) const {
    if (prefix == "xml" || prefix == "xmlns") return nullptr;
    for (auto declaration = declarations_.rbegin(); declaration != declarations_.rend();
         ++declaration) {
      if (declaration->prefix == prefix) return &declaration->uri;
    }
    return nullptr;
  }

  bool EndElement() {
    declarations_.resize(open_.back().declarations);
    open_.pop_back();
    builder_.EndElement();
    return true;
  }

  // `</name>` at `at_`, closing the element open last.
  bool EndTag() {
    at_ += 2;
    std::string_view qname;
    if (!Name(qname) || qname != open_.back().qname) return false;
    SkipSpaces();
    return Skip(">") && EndElement();
  }

  // Text up to the next markup, its line breaks made LF.
  bool Text() {
    text_.clear();
    while (More() && Peek() != '<') {
      const std::size_t run = at_;  // plain characters, taken at once
      while (More() && IsPlainText(Peek())) ++at_;
      text_.append(bytes_.substr(run, at_ - run));
      if (!More() || Peek() == '<') break;
      const char c = Peek();
      if (c == '&') {
        if (!Reference(text_)) return false;
      } else if (c == '\r') {
        text_ += '\n';
        ++at_;
        if (More() && Peek() == '\n') ++at_;
      } else if (c == ']') {
        if (Ahead("]]>")) return false;
        text_ += c;
        ++at_;
      } else {
        const std::size_t start = at_;
        if (!CharacterAt(at_)) return false;
        text_.append(bytes_.substr(start, at_ - start));
      }
    }
    builder_.AppendText(text_);
    return true;
  }
  // ASCII text that stands for itself, without line-break rules.
  static bool IsPlainText(char c) {
    return (c >= 0x20 && c < 0x7F && c != '<' && c != '&' && c != ']') || c == '\t' || c == '\n';
  }

  // `<![CDATA[` up to the first `]]>`, its line breaks made LF. An empty one is
  // left to libxml2.
  bool CData() {
    at_ += 9;
    const std::size_t end = bytes_.find("]]>", at_);
    if (end == std::string_view::npos || end == at_) return false;
    text_.clear();
    while (at_ < end) {
      const std::size_t run = at_;
      while (at_ < end && IsPlainText(Peek())) ++at_;
      text_.append(bytes_.substr(run, at_ - run));
      if (at_ == end) break;
      if (Peek() == '\r') {
        text_ += '\n';
        ++at_;
        if (at_ < end && Peek() == '\n') ++at_;
      } else if (Peek() == '<' || Peek() == '&' || Peek() == ']') {
        text_ += Peek();
        ++at_;
      } else {
        const std::size_t start = at_;
        if (!CharacterAt(at_)) return false;
        text_.append(bytes_.substr(start, at_ - start));
      }
    }
    at_ = end + 3;
    builder_.AddCData(text_);
    return true;
  }

  // The root element and everything in it.
  bool Element() {
    if (!StartTag()) return false;
    while (!open_.empty()) {
      if (!More()) return false;
      if (Peek() != '<') {
        if (!Text()) return false;
      } else if (Ahead("</")) {
        if (!EndTag()) return false;
      } else if (Ahead("<!--")) {
        if (!Comment()) return false;
      } else if (Ahead("<![CDATA[")) {
        if (!CData()) return false;
      } else if (Ahead("<!") || Ahead("<?")) {
        return false;
      } else if (!StartTag()) {
        return false;
      }
    }
    return true;
  }

  std::string_view bytes_;
  XmlTreeBuilder& builder_;
  std::size_t at_ = 0;
  std::vector<Open> open_;
  std::vector<Declaration> declarations_;
  std::vector<Attribute> attributes_;
  std::vector<std::string_view> names_;  // of the tag at hand, declarations included
  // The values of the tag at hand, their memory kept from tag to tag.
  std::vector<std::unique_ptr<std::string>> values_;
  std::size_t values_used_ = 0;
  std::string text_;
};

}  // namespace

bool ReadPlainXml(std::string_view bytes, XmlTreeBuilder& builder) {
  return Reader(bytes, builder).Read();
}

}  // namespace quorbin
