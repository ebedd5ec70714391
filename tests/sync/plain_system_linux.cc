#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <sys/stat.h>

#include "plain_invoice_search.h"
#include "plain_system.h"

namespace quorbin::testing {
namespace {

std::int64_t Nanoseconds(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

struct FirstError {
  bool seen = false;
  std::string reason;
  int line = 0;
};

// The first error of the document being parsed (this test parses on one thread).
FirstError* first_error = nullptr;

void NoteError(void*, xmlErrorPtr error) {
  if (!first_error || !error || error->level < XML_ERR_ERROR || first_error->seen) return;
  first_error->seen = true;
  first_error->reason = error->message ? error->message : "XML parser error";
  while (!first_error->reason.empty() &&
         (first_error->reason.back() == '\n' || first_error->reason.back() == '\r')) {
    first_error->reason.pop_back();
  }
  first_error->line = error->line;
}

std::string Text(const xmlChar* text) {
  return text ? reinterpret_cast<const char*>(text) : "";
}

bool Blank(const std::string& text) {
  return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

void Copy(xmlNodePtr first, PlainXmlNode& into) {
  using Kind = PlainXmlNode::Kind;
  for (xmlNodePtr node = first; node; node = node->next) {
    PlainXmlNode copy;
    switch (node->type) {
      case XML_ELEMENT_NODE:
        copy.kind = Kind::kElement;
        copy.local = Text(node->name);
        copy.qualified =
            node->ns && node->ns->prefix ? Text(node->ns->prefix) + ":" + copy.local : copy.local;
        copy.uri = node->ns ? Text(node->ns->href) : "";
        Copy(node->children, copy);
        break;
      case XML_TEXT_NODE:
        copy.kind = Kind::kText;
        copy.value = Text(node->content);
        if (Blank(copy.value)) continue;
        break;
      case XML_CDATA_SECTION_NODE:
        copy.kind = Kind::kCData;
        copy.value = Text(node->content);
        break;
      case XML_DTD_NODE:
        continue;
      default:
        copy.kind = Kind::kOther;
    }
    into.children.push_back(std::move(copy));
  }
}

}  // namespace

std::optional<PlainStamp> PlainStampOf(const std::filesystem::path& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || S_ISDIR(info.st_mode)) return std::nullopt;
  return PlainStamp{info.st_dev, info.st_ino, info.st_size, Nanoseconds(info.st_mtim),
                    Nanoseconds(info.st_ctim)};
}

std::optional<std::pair<std::uint64_t, std::uint64_t>> PlainFolderIdentity(
    const std::filesystem::path& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
  return std::pair<std::uint64_t, std::uint64_t>(info.st_dev, info.st_ino);
}

// A libxml2 context made for this document and freed after it: no network, no
// entity substitution, no document type definition loaded.
std::optional<std::string> ParsePlainXmlTree(const std::string& bytes, PlainXmlNode& document) {
  FirstError error;
  first_error = &error;
  xmlParserCtxtPtr context = xmlNewParserCtxt();
  if (!context) throw std::bad_alloc();
  context->sax->serror = &NoteError;
  xmlDocPtr parsed =
      xmlCtxtReadMemory(context, bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                        XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  const bool well_formed = parsed && context->wellFormed && context->nsWellFormed;
  if (well_formed) Copy(parsed->children, document);
  xmlFreeDoc(parsed);
  xmlFreeParserCtxt(context);
  first_error = nullptr;
  if (well_formed) return std::nullopt;
  const std::string reason = error.seen ? error.reason : "The document is not well-formed.";
  return reason + "\r\nLine: " + std::to_string(error.line) + "\r\n" +
         PlainSourceLine(bytes, error.line);
}

}  // namespace quorbin::testing
