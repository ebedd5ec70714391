// The XML parser of the Windows build: the system's MSXML DOM, the newest
// installed of versions 6.0, 4.0, 3.0 and 2.6, else the version-independent
// class. The document is loaded at once from the bytes, without validation and
// without resolving anything outside it, keeping white space (the tree builder
// drops white-space-only text as on every system); its nodes are then walked in
// document order into the tree builder.
#include <windows.h>
// after windows.h
#include <msxml2.h>
#include <shlwapi.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "platform/windows/com_windows.h"
#include "sync/xml_tree_builder.h"

namespace quorbin {
namespace {

using platform::Bstr;
using platform::ComRef;
using platform::Variant;

// IXMLDOMDocument2, for setProperty; the import libraries do not carry it.
constexpr IID kDomDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

constexpr std::array<const wchar_t*, 5> kDocumentClasses = {
    L"Msxml2.DOMDocument.6.0", L"Msxml2.DOMDocument.4.0", L"Msxml2.DOMDocument.3.0",
    L"Msxml2.DOMDocument.2.6", L"Msxml2.DOMDocument"};
// As deep as libxml2 lets a document nest, so both builds refuse the same files.
constexpr long kMaxElementDepth = 256;

class ParseFailure {
 public:
  explicit ParseFailure(XmlParseError error) : error(std::move(error)) {}
  XmlParseError error;
};

void Check(HRESULT status, const char* what) {
  if (FAILED(status)) throw ParseFailure({platform::ComFailureText(what, status), 0});
}

std::string Utf8(BSTR text) {
  return text ? platform::Utf8FromWide(std::wstring_view(text, SysStringLen(text))) : std::string();
}

// A BSTR result of one call, freed at the end of the scope.
class BstrResult {
 public:
  BstrResult() = default;
  ~BstrResult() { SysFreeString(value_); }
  BstrResult(const BstrResult&) = delete;
  BstrResult& operator=(const BstrResult&) = delete;
  BSTR* put() {
    SysFreeString(value_);
    value_ = nullptr;
    return &value_;
  }
  std::string utf8() const { return Utf8(value_); }

 private:
  BSTR value_ = nullptr;
};

// The class of the newest MSXML installed, found once.
const CLSID& DocumentClass() {
  static const CLSID chosen = [] {
    for (const wchar_t* name : kDocumentClasses) {
      CLSID found{};
      if (SUCCEEDED(CLSIDFromProgID(name, &found))) return found;
    }
    return CLSID{};
  }();
  return chosen;
}

void SetProperty(IXMLDOMDocument* document, const wchar_t* name, VARIANT value) {
  ComRef<IXMLDOMDocument2> second;
  if (FAILED(document->QueryInterface(kDomDocument2, reinterpret_cast<void**>(second.put())))) {
    return;  // 2.6 and older know no properties
  }
  const Bstr property(name);
  second->setProperty(property.get(), value);  // a version that lacks it keeps its default
}

ComRef<IXMLDOMDocument> NewDocument() {
  platform::EnsureComApartment();
  ComRef<IXMLDOMDocument> document;
  Check(CoCreateInstance(DocumentClass(), nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                         reinterpret_cast<void**>(document.put())),
        "The XML DOM parser (MSXML) is not available");
  Check(document->put_async(VARIANT_FALSE), "The XML DOM parser refused a setting");
  Check(document->put_validateOnParse(VARIANT_FALSE), "The XML DOM parser refused a setting");
  Check(document->put_resolveExternals(VARIANT_FALSE), "The XML DOM parser refused a setting");
  Check(document->put_preserveWhiteSpace(VARIANT_TRUE), "The XML DOM parser refused a setting");
  VARIANT depth;
  VariantInit(&depth);
  depth.vt = VT_I4;
  depth.lVal = kMaxElementDepth;
  SetProperty(document.get(), L"MaxElementDepth", depth);
  return document;
}

std::optional<XmlParseError> LoadError(IXMLDOMDocument* document) {
  ComRef<IXMLDOMParseError> error;
  if (FAILED(document->get_parseError(error.put())) || !error) return XmlParseError{};
  BstrResult reason;
  error->get_reason(reason.put());
  long line = 0;
  error->get_line(&line);
  std::string text = reason.utf8();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return XmlParseError{std::move(text), static_cast<int>(line)};
}

// Loads the bytes as they are: the parser reads the encoding from their mark or
// declaration, UTF-8 by default.
std::optional<XmlParseError> Load(IXMLDOMDocument* document, std::string_view bytes) {
  ComRef<IStream> stream;
  *stream.put() = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()),
                                    static_cast<UINT>(bytes.size()));
  if (!stream) throw ParseFailure({"Out of memory.", 0});
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_UNKNOWN;
  source.punkVal = stream.get();
  VARIANT_BOOL loaded = VARIANT_FALSE;
  const HRESULT status = document->load(source, &loaded);
  if (status == S_OK && loaded == VARIANT_TRUE) return std::nullopt;
  return LoadError(document);
}

std::string NodeValue(IXMLDOMNode* node) {
  Variant value;
  Check(node->get_nodeValue(value.get()), "Reading an XML node failed");
  return (*value).vt == VT_BSTR ? Utf8((*value).bstrVal) : std::string();
}

bool IsNamespaceDeclaration(std::string_view name) {
  return name == "xmlns" || name.starts_with("xmlns:");
}

void BeginElement(IXMLDOMNode* element, XmlTreeBuilder& builder) {
  BstrResult prefix;
  BstrResult local;
  BstrResult uri;
  Check(element->get_prefix(prefix.put()), "Reading an XML element failed");
  Check(element->get_baseName(local.put()), "Reading an XML element failed");
  Check(element->get_namespaceURI(uri.put()), "Reading an XML element failed");
  builder.BeginElement(prefix.utf8(), local.utf8(), uri.utf8());
  ComRef<IXMLDOMNamedNodeMap> attributes;
  Check(element->get_attributes(attributes.put()), "Reading XML attributes failed");
  if (!attributes) return;
  long count = 0;
  Check(attributes->get_length(&count), "Reading XML attributes failed");
  for (long i = 0; i < count; ++i) {
    ComRef<IXMLDOMNode> attribute;
    // Wine's MSXML cannot make an attribute node of a default namespace's
    // declaration (xmlns="..."), which is no attribute of the element anyway.
    if (FAILED(attributes->get_item(i, attribute.put())) || !attribute) continue;
    BstrResult qualified;
    Check(attribute->get_nodeName(qualified.put()), "Reading XML attributes failed");
    const std::string name = qualified.utf8();
    // Namespace declarations are not attributes of the element.
    if (IsNamespaceDeclaration(name)) continue;
    builder.AddAttribute({}, name, NodeValue(attribute.get()));
  }
}

// Hands one node to the builder; true for an element, whose children follow.
bool Visit(IXMLDOMNode* node, XmlTreeBuilder& builder, bool at_document_level) {
  DOMNodeType type = NODE_INVALID;
  Check(node->get_nodeType(&type), "Reading an XML node failed");
  switch (type) {
    case NODE_ELEMENT:
      BeginElement(node, builder);
      return true;
    case NODE_TEXT:
      builder.AppendText(NodeValue(node));
      return false;
    case NODE_CDATA_SECTION:
      builder.AddCData(NodeValue(node));
      return false;
    case NODE_PROCESSING_INSTRUCTION:
    case NODE_DOCUMENT_TYPE:
      // The XML declaration and the document type are no nodes of the document.
      if (!at_document_level) builder.AddOther();
      return false;
    default:
      builder.AddOther();  // comments, unexpanded entity references
      return false;
  }
}

ComRef<IXMLDOMNode> FirstChild(IXMLDOMNode* node) {
  ComRef<IXMLDOMNode> child;
  Check(node->get_firstChild(child.put()), "Reading an XML node failed");
  return child;
}

ComRef<IXMLDOMNode> NextSibling(IXMLDOMNode* node) {
  ComRef<IXMLDOMNode> sibling;
  Check(node->get_nextSibling(sibling.put()), "Reading an XML node failed");
  return sibling;
}

// Walks the tree in document order without recursion.
void Walk(IXMLDOMDocument* document, XmlTreeBuilder& builder) {
  std::vector<ComRef<IXMLDOMNode>> open;  // the elements around `node`
  ComRef<IXMLDOMNode> node = FirstChild(document);
  while (node) {
    if (Visit(node.get(), builder, open.empty())) {
      ComRef<IXMLDOMNode> child = FirstChild(node.get());
      if (child) {
        open.push_back(std::move(node));
        node = std::move(child);
        continue;
      }
      builder.EndElement();
    }
    node = NextSibling(node.get());
    while (!node && !open.empty()) {
      builder.EndElement();
      node = NextSibling(open.back().get());
      open.pop_back();
    }
  }
}

}  // namespace

std::optional<XmlParseError> ParseXml(std::string_view bytes, XmlTreeBuilder& builder) {
  try {
    const ComRef<IXMLDOMDocument> document = NewDocument();
    if (auto error = Load(document.get(), bytes)) return error;
    Walk(document.get(), builder);
    return std::nullopt;
  } catch (const ParseFailure& failure) {
    return failure.error;
  }
}

}  // namespace quorbin
