// The XML parser of the Linux build: libxml2's SAX2 interface feeding the tree
// builder, a fresh parser context for every document, so that no document changes
// how a later one parses. Plain documents are read by ReadPlainXml first, which
// gives the same nodes sooner.
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/xmlerror.h>

#include <mutex>

#include "sync/plain_xml_reader.h"
#include "sync/xml_tree_builder.h"

namespace quorbin {
namespace {

constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

std::string_view View(const xmlChar* text) {
  return text ? std::string_view(reinterpret_cast<const char*>(text)) : std::string_view();
}

// Nothing outside the document is ever read, whatever a document asks for.
// Errors that libxml2 reports outside a parser context (a failed conversion of
// the input's encoding) would go to standard error; the load failure says enough.
void IgnoreGenericError(void*, const char*, ...) {}

xmlParserInputPtr RefuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
  return nullptr;
}

// The SAX events of one parse, handed to the builder.
class SaxEvents {
 public:
  explicit SaxEvents(XmlTreeBuilder& builder) : builder_(builder) {}

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

  // The first error, marked as the parser's own want of resources when memory ran
  // out at any point or the parser could not be set up.
  XmlParseError Verdict() const {
    XmlParseError verdict = first_error_.value_or(XmlParseError{});
    verdict.resources = out_of_resources_;
    return verdict;
  }
  void OutOfResources() { out_of_resources_ = true; }

 private:
  static SaxEvents& From(void* context) { return *static_cast<SaxEvents*>(context); }

  // Without entity substitution the parser hands over an ampersand of an
  // attribute value as "&#38;"; any other reference stays as written.
  static std::string AttributeValue(std::string_view value) {
    std::string text;
    for (std::size_t at; (at = value.find("&#38;")) != std::string_view::npos;) {
      text.append(value.substr(0, at));
      text += '&';
      value.remove_prefix(at + 5);
    }
    text.append(value);
    return text;
  }

  static void StartElement(void* context, const xmlChar* local_name, const xmlChar* prefix,
                           const xmlChar* uri, int, const xmlChar**, int attribute_count, int,
                           const xmlChar** attributes) {
    XmlTreeBuilder& builder = From(context).builder_;
    if (!builder.BeginElement(View(prefix), View(local_name), View(uri))) return;
    for (int i = 0; i < attribute_count; ++i) {
      const xmlChar* const* attribute = attributes + 5 * i;
      const std::string_view value(reinterpret_cast<const char*>(attribute[3]),
                                   static_cast<std::size_t>(attribute[4] - attribute[3]));
      if (value.find("&#38;") == std::string_view::npos) {
        builder.AddAttribute(View(attribute[1]), View(attribute[0]), value);
      } else {
        builder.AddAttribute(View(attribute[1]), View(attribute[0]), AttributeValue(value));
      }
    }
  }

  static void EndElement(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
    From(context).builder_.EndElement();
  }

  static void Characters(void* context, const xmlChar* characters, int length) {
    From(context).builder_.AppendText(std::string_view(reinterpret_cast<const char*>(characters),
                                                       static_cast<std::size_t>(length)));
  }

  static void CData(void* context, const xmlChar* characters, int length) {
    From(context).builder_.AddCData(std::string_view(reinterpret_cast<const char*>(characters),
                                                     static_cast<std::size_t>(length)));
  }

  static void Comment(void* context, const xmlChar*) { From(context).builder_.AddOther(); }
  static void ProcessingInstruction(void* context, const xmlChar*, const xmlChar*) {
    From(context).builder_.AddOther();
  }
  static void Reference(void* context, const xmlChar*) { From(context).builder_.AddOther(); }

  static void Error(void* context, xmlErrorPtr error) {
    auto& self = From(context);
    if (error && error->code == XML_ERR_NO_MEMORY) self.out_of_resources_ = true;
    if (!error || error->level < XML_ERR_ERROR || self.first_error_) return;
    std::string reason = error->message ? error->message : "XML parser error";
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
    self.first_error_ = XmlParseError{std::move(reason), error->line};
  }

  XmlTreeBuilder& builder_;
  std::optional<XmlParseError> first_error_;
  bool out_of_resources_ = false;
};

// The parser's settings for the whole process, and for the calling thread.
void PrepareLibxml2() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(&RefuseExternalEntity);
  });
  thread_local const bool prepared = [] {
    xmlSetGenericErrorFunc(nullptr, &IgnoreGenericError);
    return true;
  }();
  (void)prepared;
}

// A libxml2 parser context of its own for each parse: what a context keeps from
// a document (the names it has met, up to a limit of bytes) never reaches the
// next one.
class ParserContext {
 public:
  ParserContext() : context_(xmlNewParserCtxt()) {
    if (!context_) return;
    *context_->sax = SaxEvents::Handler();
    xmlCtxtUseOptions(context_, kParseOptions);
  }
  // The context does not own the document libxml2 makes for a document type
  // declaration's entities: it is freed here.
  ~ParserContext() {
    if (!context_) return;
    if (context_->myDoc) xmlFreeDoc(context_->myDoc);
    xmlFreeParserCtxt(context_);
  }
  ParserContext(const ParserContext&) = delete;
  ParserContext& operator=(const ParserContext&) = delete;

  // Parses `bytes` into the events; true when the document is well-formed,
  // namespaces included.
  bool Parse(std::string_view bytes, SaxEvents& events) {
    xmlParserInputBufferPtr buffer =
        context_ ? xmlParserInputBufferCreateMem(bytes.data(), static_cast<int>(bytes.size()),
                                                 XML_CHAR_ENCODING_NONE)
                 : nullptr;
    xmlParserInputPtr input =
        buffer ? xmlNewIOInputStream(context_, buffer, XML_CHAR_ENCODING_NONE) : nullptr;
    if (!input) {
      if (buffer) xmlFreeParserInputBuffer(buffer);
      events.OutOfResources();
      return false;
    }
    inputPush(context_, input);
    context_->userData = &events;
    xmlParseDocument(context_);
    return context_->wellFormed && context_->nsWellFormed;
  }

 private:
  xmlParserCtxtPtr context_;
};

std::optional<XmlParseError> ParseOnce(std::string_view bytes, XmlTreeBuilder& builder) {
  ParserContext parser;
  SaxEvents events(builder);
  if (parser.Parse(bytes, events)) return std::nullopt;
  return events.Verdict();
}

}  // namespace

std::optional<XmlParseError> ParseXml(std::string_view bytes, XmlTreeBuilder& builder) {
  if (ReadPlainXml(bytes, builder)) return std::nullopt;
  builder.Restart();
  return ParseXmlWithLibxml2(bytes, builder);
}

// A parse stopped for want of resources says nothing of the bytes: it is tried
// once more at once, before anything is concluded.
std::optional<XmlParseError> ParseXmlWithLibxml2(std::string_view bytes, XmlTreeBuilder& builder) {
  PrepareLibxml2();
  std::optional<XmlParseError> error = ParseOnce(bytes, builder);
  if (!error || !error->resources) return error;
  builder.Restart();
  return ParseOnce(bytes, builder);
}

}  // namespace quorbin
