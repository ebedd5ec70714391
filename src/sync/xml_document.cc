#include "sync/xml_document.h"

#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <mutex>

#include "support/code_page.h"
#include "support/line_file.h"

namespace quorbin {
namespace {

constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
// A context is reused from file to file; its name dictionary only grows, so a
// context that has met too many distinct names is replaced.
constexpr std::size_t kMaxDictionaryNames = 100'000;

bool IsXmlBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view View(const xmlChar* text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

// Errors that libxml2 reports outside a parser context (a failed conversion of
// the input's encoding) would go to standard error; the load failure says enough.
void IgnoreGenericError(void*, const char*, ...) {}

// Nothing outside the document is ever read, whatever a document asks for.
xmlParserInputPtr RefuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
  return nullptr;
}

// The text of a file for quoting its failing line: UTF-16 by its mark, UTF-8 when
// the bytes are valid UTF-8, otherwise one character per byte.
std::string SourceText(std::string_view bytes) {
  std::size_t mark = 0;
  const TextEncoding encoding = DetectEncoding(bytes, &mark);
  if (encoding != TextEncoding::kAnsi) return DecodeText(bytes);
  for (std::size_t pos = 0; pos < bytes.size();) {
    const std::size_t start = pos;
    if (NextCodePoint(bytes, pos) == 0xFFFD && bytes.substr(start, 3) != "\xEF\xBF\xBD") {
      return AnsiToUtf8(bytes);
    }
  }
  return std::string(bytes);
}

std::string FirstCharacters(std::string_view utf8, std::size_t count) {
  std::size_t pos = 0;
  for (std::size_t taken = 0; taken < count && pos < utf8.size(); ++taken) {
    NextCodePoint(utf8, pos);
  }
  return std::string(utf8.substr(0, pos));
}

}  // namespace

// Receives the parser's events and appends the nodes to a document.
class XmlTreeBuilder {
 public:
  explicit XmlTreeBuilder(XmlDocument& document) : document_(document) {
    document_.nodes_.clear();
    document_.attributes_.clear();
    document_.text_.clear();
    document_.nodes_.push_back({XmlDocument::NodeKind::kDocument});
  }

  static xmlSAXHandler Handler() {
    xmlSAXHandler handler{};
    handler.initialized = XML_SAX2_MAGIC;
    handler.startElementNs = &StartElement;
    handler.endElementNs = &EndElement;
    handler.characters = &Characters;
    handler.ignorableWhitespace = &Characters;
    handler.cdataBlock = &CData;
    handler.comment = &Comment;
    handler.processingInstruction = &ProcessingInstruction;
    handler.reference = &Reference;
    handler.serror = &Error;
    return handler;
  }

  struct ParseError {
    std::string reason;
    int line = 0;
  };
  const std::optional<ParseError>& first_error() const { return first_error_; }

 private:
  using NodeRecord = XmlDocument::NodeRecord;
  using NodeKind = XmlDocument::NodeKind;

  static XmlTreeBuilder& From(void* context) { return *static_cast<XmlTreeBuilder*>(context); }

  std::uint32_t Store(std::string_view text) {
    const auto offset = static_cast<std::uint32_t>(document_.text_.size());
    document_.text_.append(text);
    return offset;
  }

  // Without entity substitution the parser hands over an ampersand of an
  // attribute value as "&#38;"; any other reference stays as written.
  std::uint32_t StoreAttributeValue(std::string_view value) {
    const auto offset = static_cast<std::uint32_t>(document_.text_.size());
    for (std::size_t at; (at = value.find("&#38;")) != std::string_view::npos;) {
      document_.text_.append(value.substr(0, at));
      document_.text_ += '&';
      value.remove_prefix(at + 5);
    }
    document_.text_.append(value);
    return offset;
  }

  std::int32_t Append(NodeRecord record) {
    CloseText();
    auto& nodes = document_.nodes_;
    const auto index = static_cast<std::int32_t>(nodes.size());
    NodeRecord& parent = nodes[open_];
    record.previous_sibling = parent.last_child;
    if (parent.last_child >= 0) {
      nodes[parent.last_child].next_sibling = index;
    } else {
      parent.first_child = index;
    }
    parent.last_child = index;
    nodes.push_back(record);
    return index;
  }

  // A text node ends at the next event that is not text; one of white space only
  // is dropped again. It is always the last node and the last stored text.
  void CloseText() {
    if (!text_open_) return;
    text_open_ = false;
    auto& nodes = document_.nodes_;
    const NodeRecord& text = nodes.back();
    const std::string_view value = document_.Slice(text.value, text.value_length);
    for (const char c : value) {
      if (!IsXmlBlank(c)) return;
    }
    document_.text_.resize(text.value);
    NodeRecord& parent = nodes[open_];
    parent.last_child = text.previous_sibling;
    if (text.previous_sibling >= 0) {
      nodes[text.previous_sibling].next_sibling = -1;
    } else {
      parent.first_child = -1;
    }
    nodes.pop_back();
  }

  static void StartElement(void* context, const xmlChar* local_name, const xmlChar* prefix,
                           const xmlChar* uri, int, const xmlChar**, int attribute_count, int,
                           const xmlChar** attributes) {
    auto& self = From(context);
    self.CloseText();
    NodeRecord record{NodeKind::kElement};
    const std::string_view local = View(local_name);
    if (prefix) {
      record.name = self.Store(View(prefix));
      self.Store(":");
      record.local_name = self.Store(local);
    } else {
      record.name = record.local_name = self.Store(local);
    }
    record.name_length = static_cast<std::uint32_t>(self.document_.text_.size() - record.name);
    if (uri) {
      // Every element of a namespace names the same interned URI.
      if (uri != self.last_uri_) {
        self.last_uri_ = uri;
        self.last_uri_offset_ = self.Store(View(uri));
        self.last_uri_length_ = static_cast<std::uint32_t>(View(uri).size());
      }
      record.uri = self.last_uri_offset_;
      record.uri_length = self.last_uri_length_;
    }
    auto& stored = self.document_.attributes_;
    record.first_attribute = static_cast<std::uint32_t>(stored.size());
    record.attribute_count = static_cast<std::uint32_t>(attribute_count);
    for (int i = 0; i < attribute_count; ++i) {
      const xmlChar* const* attribute = attributes + 5 * i;
      XmlDocument::AttributeRecord entry{};
      if (attribute[1]) {
        entry.name = self.Store(View(attribute[1]));
        self.Store(":");
        self.Store(View(attribute[0]));
      } else {
        entry.name = self.Store(View(attribute[0]));
      }
      entry.name_length = static_cast<std::uint32_t>(self.document_.text_.size() - entry.name);
      const std::string_view value(reinterpret_cast<const char*>(attribute[3]),
                                   static_cast<std::size_t>(attribute[4] - attribute[3]));
      entry.value = self.StoreAttributeValue(value);
      entry.value_length = static_cast<std::uint32_t>(self.document_.text_.size() - entry.value);
      stored.push_back(entry);
    }
    const std::int32_t element = self.Append(record);
    self.open_elements_.push_back(self.open_);
    self.open_ = element;
  }

  static void EndElement(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
    auto& self = From(context);
    self.CloseText();
    if (self.open_elements_.empty()) return;
    self.open_ = self.open_elements_.back();
    self.open_elements_.pop_back();
  }

  static void Characters(void* context, const xmlChar* characters, int length) {
    auto& self = From(context);
    const std::string_view text(reinterpret_cast<const char*>(characters),
                                static_cast<std::size_t>(length));
    if (self.text_open_) {
      self.document_.text_.append(text);
      self.document_.nodes_.back().value_length += static_cast<std::uint32_t>(text.size());
      return;
    }
    NodeRecord record{NodeKind::kText};
    const auto value = static_cast<std::uint32_t>(self.document_.text_.size());
    self.Append(record);
    self.document_.text_.append(text);
    NodeRecord& stored = self.document_.nodes_.back();
    stored.value = value;
    stored.value_length = static_cast<std::uint32_t>(text.size());
    self.text_open_ = true;
  }

  static void CData(void* context, const xmlChar* characters, int length) {
    auto& self = From(context);
    self.CloseText();
    NodeRecord record{NodeKind::kCData};
    record.value = self.Store(std::string_view(reinterpret_cast<const char*>(characters),
                                               static_cast<std::size_t>(length)));
    record.value_length = static_cast<std::uint32_t>(length);
    self.Append(record);
  }

  static void Comment(void* context, const xmlChar*) {
    From(context).Append(NodeRecord{NodeKind::kOther});
  }
  static void ProcessingInstruction(void* context, const xmlChar*, const xmlChar*) {
    From(context).Append(NodeRecord{NodeKind::kOther});
  }
  static void Reference(void* context, const xmlChar*) {
    From(context).Append(NodeRecord{NodeKind::kOther});
  }

  static void Error(void* context, xmlErrorPtr error) {
    auto& self = From(context);
    if (!error || error->level < XML_ERR_ERROR || self.first_error_) return;
    std::string reason = error->message ? error->message : "XML parser error";
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
    self.first_error_ = ParseError{std::move(reason), error->line};
  }

  XmlDocument& document_;
  std::int32_t open_ = 0;  // the element that receives children; 0 is the document
  std::vector<std::int32_t> open_elements_;  // the elements around it
  bool text_open_ = false;
  const xmlChar* last_uri_ = nullptr;
  std::uint32_t last_uri_offset_ = 0;
  std::uint32_t last_uri_length_ = 0;
  std::optional<ParseError> first_error_;
};

namespace {

// One libxml2 parser context per thread, reused from file to file.
class ParserContext {
 public:
  ParserContext() {
    static std::once_flag once;
    std::call_once(once, [] {
      xmlInitParser();
      xmlSetExternalEntityLoader(&RefuseExternalEntity);
    });
    xmlSetGenericErrorFunc(nullptr, &IgnoreGenericError);  // for this thread
  }
  ~ParserContext() { Drop(); }
  ParserContext(const ParserContext&) = delete;
  ParserContext& operator=(const ParserContext&) = delete;

  // Parses `bytes` into the builder; true when the document is well-formed,
  // namespaces included.
  bool Parse(std::string_view bytes, XmlTreeBuilder& builder) {
    xmlParserCtxtPtr context = Prepared();
    if (!context) return false;
    xmlParserInputBufferPtr buffer = xmlParserInputBufferCreateMem(
        bytes.data(), static_cast<int>(bytes.size()), XML_CHAR_ENCODING_NONE);
    if (!buffer) return false;
    xmlParserInputPtr input = xmlNewIOInputStream(context, buffer, XML_CHAR_ENCODING_NONE);
    if (!input) {
      xmlFreeParserInputBuffer(buffer);
      return false;
    }
    inputPush(context, input);
    context->userData = &builder;
    xmlParseDocument(context);
    const bool well_formed = context->wellFormed && context->nsWellFormed;
    xmlCtxtReset(context);
    if (context->dict &&
        static_cast<std::size_t>(xmlDictSize(context->dict)) > kMaxDictionaryNames) {
      Drop();
    }
    return well_formed;
  }

 private:
  xmlParserCtxtPtr Prepared() {
    if (!context_) {
      context_ = xmlNewParserCtxt();
      if (!context_) return nullptr;
      *context_->sax = XmlTreeBuilder::Handler();
    }
    xmlCtxtReset(context_);
    xmlCtxtUseOptions(context_, kParseOptions);
    return context_;
  }

  void Drop() {
    if (context_) xmlFreeParserCtxt(context_);
    context_ = nullptr;
  }

  xmlParserCtxtPtr context_ = nullptr;
};

}  // namespace

XmlDocument XmlDocument::Parse(std::string_view bytes) {
  XmlDocument document;
  document.Reparse(bytes);
  return document;
}

void XmlDocument::Reparse(std::string_view bytes) {
  if (bytes.size() > kMaxXmlFileBytes) {
    nodes_.clear();
    throw XmlLoadFailure(LoadFailureMessage(
        "The file is larger than " + std::to_string(kMaxXmlFileBytes) + " bytes.", 0, {}));
  }
  thread_local ParserContext parser;
  nodes_.reserve(64 + bytes.size() / 32);
  text_.reserve(bytes.size());
  XmlTreeBuilder builder(*this);
  if (!parser.Parse(bytes, builder)) {
    nodes_.clear();
    const auto& error = builder.first_error();
    throw XmlLoadFailure(
        LoadFailureMessage(error ? error->reason : "The document is not well-formed.",
                           error ? error->line : 0, bytes));
  }
}

void XmlDocument::Release(std::size_t bytes) {
  if (text_.capacity() + nodes_.capacity() * sizeof(NodeRecord) +
          attributes_.capacity() * sizeof(AttributeRecord) <=
      bytes) {
    return;
  }
  *this = XmlDocument();
}

XmlDocument XmlDocument::Load(const std::filesystem::path& path) {
  std::string bytes;
  try {
    bytes = ReadRegularFileBytes(path, kMaxXmlFileBytes);
  } catch (const Failure& failure) {
    throw XmlLoadFailure(LoadFailureMessage(failure.what(), 0, {}));
  }
  return Parse(bytes);
}

std::string LoadFailureMessage(std::string_view reason, int line, std::string_view bytes) {
  std::string source_line;
  if (line > 0) {
    const auto lines = SplitLines(SourceText(bytes));
    if (static_cast<std::size_t>(line) <= lines.size()) {
      source_line = FirstCharacters(lines[static_cast<std::size_t>(line) - 1], 40);
    }
  }
  return std::string(reason) + "\r\nLine: " + std::to_string(line) + "\r\n" + source_line;
}

void XmlNode::RequireExists() const {
  if (!Exists()) throw XmlFailure("Element '" + std::string(name_) + "' not found.");
}

XmlNode XmlNode::Child(std::string_view name) const {
  RequireExists();
  const auto& nodes = document_->nodes_;
  const auto& parent = nodes[index_];
  const std::string_view parent_uri = document_->Slice(parent.uri, parent.uri_length);
  for (std::int32_t i = parent.first_child; i >= 0; i = nodes[i].next_sibling) {
    const auto& child = nodes[i];
    if (child.kind != XmlDocument::NodeKind::kElement) continue;
    const std::string_view qualified = document_->Slice(child.name, child.name_length);
    const std::string_view local =
        document_->Slice(child.local_name, child.name + child.name_length - child.local_name);
    if (qualified != name && local != name) continue;
    if (!parent_uri.empty() &&
        !EqualIgnoringAsciiCase(parent_uri, document_->Slice(child.uri, child.uri_length))) {
      continue;
    }
    return XmlNode(document_, i, name);
  }
  return XmlNode(document_, -1, name);
}

std::string XmlNode::Text() const {
  RequireExists();
  const auto& nodes = document_->nodes_;
  const auto& element = nodes[index_];
  if (element.first_child < 0) return {};
  const auto& only = nodes[element.first_child];
  if (only.next_sibling >= 0 ||
      (only.kind != XmlDocument::NodeKind::kText && only.kind != XmlDocument::NodeKind::kCData)) {
    throw XmlFailure("Element '" + std::string(name_) + "' does not hold text only.");
  }
  return std::string(document_->Slice(only.value, only.value_length));
}

std::optional<std::string> XmlNode::Attribute(std::string_view name) const {
  RequireExists();
  const auto& element = document_->nodes_[index_];
  for (std::uint32_t i = 0; i < element.attribute_count; ++i) {
    const auto& attribute = document_->attributes_[element.first_attribute + i];
    if (document_->Slice(attribute.name, attribute.name_length) == name) {
      return std::string(document_->Slice(attribute.value, attribute.value_length));
    }
  }
  return std::nullopt;
}

}  // namespace quorbin
