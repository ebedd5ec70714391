#include <windows.h>
// after windows.h
#include <msxml2.h>
#include <shlwapi.h>

#include <stdexcept>

#include "plain_invoice_search.h"
#include "plain_system.h"
#include "support/paths.h"

namespace quorbin::testing {
namespace {

// File times count 100 ns from 1601.
std::int64_t Nanoseconds(std::int64_t ticks) {
  return (ticks - 116'444'736'000'000'000) * 100;
}

std::int64_t Ticks(const FILETIME& time) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) |
                                   time.dwLowDateTime);
}

struct Info {
  BY_HANDLE_FILE_INFORMATION identity{};
  FILE_BASIC_INFO basic{};
};

std::optional<Info> InfoOf(const std::filesystem::path& path) {
  const HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  Info info;
  const bool read =
      GetFileInformationByHandle(handle, &info.identity) &&
      GetFileInformationByHandleEx(handle, FileBasicInfo, &info.basic, sizeof info.basic);
  CloseHandle(handle);
  if (!read) return std::nullopt;
  return info;
}

bool IsFolder(const Info& info) {
  return (info.identity.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::uint64_t Index(const Info& info) {
  return (static_cast<std::uint64_t>(info.identity.nFileIndexHigh) << 32) |
         info.identity.nFileIndexLow;
}

// A COM interface pointer released at the end of the scope.
template <typename T>
struct Ref {
  T* p = nullptr;
  ~Ref() {
    if (p) p->Release();
  }
  T* operator->() const { return p; }
  void** put() { return reinterpret_cast<void**>(&p); }
};

std::string Utf8(BSTR text) {
  std::string utf8;
  if (text) utf8 = Utf8FromPath(std::filesystem::path(std::wstring(text, SysStringLen(text))));
  SysFreeString(text);
  return utf8;
}

std::string NameOf(IXMLDOMNode* node, HRESULT (STDMETHODCALLTYPE IXMLDOMNode::*get)(BSTR*)) {
  BSTR text = nullptr;
  (node->*get)(&text);
  return Utf8(text);
}

std::string ValueOf(IXMLDOMNode* node) {
  VARIANT value;
  VariantInit(&value);
  node->get_nodeValue(&value);
  std::string text = value.vt == VT_BSTR ? Utf8(SysAllocString(value.bstrVal)) : std::string();
  VariantClear(&value);
  return text;
}

void Copy(IXMLDOMNode* parent, PlainXmlNode& into) {
  using Kind = PlainXmlNode::Kind;
  Ref<IXMLDOMNode> node;
  parent->get_firstChild(&node.p);
  while (node.p) {
    DOMNodeType type = NODE_INVALID;
    node->get_nodeType(&type);
    PlainXmlNode copy;
    bool keep = true;
    switch (type) {
      case NODE_ELEMENT:
        copy.kind = Kind::kElement;
        copy.qualified = NameOf(node.p, &IXMLDOMNode::get_nodeName);
        copy.local = NameOf(node.p, &IXMLDOMNode::get_baseName);
        copy.uri = NameOf(node.p, &IXMLDOMNode::get_namespaceURI);
        Copy(node.p, copy);
        break;
      case NODE_TEXT:
        copy.kind = Kind::kText;
        copy.value = ValueOf(node.p);
        keep = copy.value.find_first_not_of(" \t\r\n") != std::string::npos;
        break;
      case NODE_CDATA_SECTION:
        copy.kind = Kind::kCData;
        copy.value = ValueOf(node.p);
        break;
      case NODE_PROCESSING_INSTRUCTION:
      case NODE_DOCUMENT_TYPE:
        copy.kind = Kind::kOther;
        keep = into.kind != Kind::kDocument;  // the declaration is no node
        break;
      default:
        copy.kind = Kind::kOther;
    }
    if (keep) into.children.push_back(std::move(copy));
    Ref<IXMLDOMNode> next;
    node->get_nextSibling(&next.p);
    std::swap(node.p, next.p);
  }
}

// The newest MSXML installed, as the search chooses it.
CLSID DocumentClass() {
  for (const wchar_t* name :
       {L"Msxml2.DOMDocument.6.0", L"Msxml2.DOMDocument.4.0", L"Msxml2.DOMDocument.3.0",
        L"Msxml2.DOMDocument.2.6", L"Msxml2.DOMDocument"}) {
    CLSID found{};
    if (SUCCEEDED(CLSIDFromProgID(name, &found))) return found;
  }
  throw std::runtime_error("no MSXML");
}

}  // namespace

std::optional<PlainStamp> PlainStampOf(const std::filesystem::path& path) {
  const auto info = InfoOf(path);
  if (!info || IsFolder(*info)) return std::nullopt;
  return PlainStamp{
      info->identity.dwVolumeSerialNumber, Index(*info),
      static_cast<std::int64_t>((static_cast<std::uint64_t>(info->identity.nFileSizeHigh) << 32) |
                                info->identity.nFileSizeLow),
      Nanoseconds(Ticks(info->identity.ftLastWriteTime)),
      info->basic.ChangeTime.QuadPart ? Nanoseconds(info->basic.ChangeTime.QuadPart) : 0};
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> PlainFolderIdentity(
    const std::filesystem::path& path) {
  const auto info = InfoOf(path);
  if (!info || !IsFolder(*info)) return std::nullopt;
  return std::pair<std::uint64_t, std::uint64_t>(info->identity.dwVolumeSerialNumber, Index(*info));
}

// A DOM document made for this document and released after it: no validation,
// nothing outside it resolved, white space kept.
std::optional<std::string> ParsePlainXmlTree(const std::string& bytes, PlainXmlNode& document) {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  Ref<IXMLDOMDocument> parser;
  if (FAILED(CoCreateInstance(DocumentClass(), nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                              parser.put()))) {
    throw std::runtime_error("no MSXML document");
  }
  parser->put_async(VARIANT_FALSE);
  parser->put_validateOnParse(VARIANT_FALSE);
  parser->put_resolveExternals(VARIANT_FALSE);
  parser->put_preserveWhiteSpace(VARIANT_TRUE);
  Ref<IStream> stream;
  stream.p = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()),
                               static_cast<UINT>(bytes.size()));
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_UNKNOWN;
  source.punkVal = stream.p;
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (parser->load(source, &loaded) == S_OK && loaded == VARIANT_TRUE) {
    Copy(parser.p, document);
    return std::nullopt;
  }
  Ref<IXMLDOMParseError> error;
  parser->get_parseError(&error.p);
  std::string reason;
  long line = 0;
  if (error.p) {
    BSTR text = nullptr;
    error->get_reason(&text);
    reason = Utf8(text);
    error->get_line(&line);
  }
  while (!reason.empty() &&
         (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ')) {
    reason.pop_back();
  }
  if (reason.empty()) reason = "The document is not well-formed.";
  return reason + "\r\nLine: " + std::to_string(line) + "\r\n" +
         PlainSourceLine(bytes, static_cast<int>(line));
}

}  // namespace quorbin::testing
