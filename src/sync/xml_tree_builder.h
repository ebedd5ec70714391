// XmlTreeBuilder: what an XML parser hands over, in document order, turned into
// the nodes of an XmlDocument. Each system's parser (libxml2 on Linux, MSXML on
// Windows) drives it through ParseXml; the reading rules then work on the same
// nodes whichever parser built them.
//
// Consecutive pieces of text make one text node, and a text node of white space
// only (blank, tab, CR, LF) is dropped when the next node or the end of its
// element closes it. Attributes belong to the element begun last and come before
// its first child. With a pruning (see XmlPruning) the builder stores only the
// nodes the pruning keeps and ignores the events of everything else.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sync/xml_document.h"

namespace quorbin {

class XmlTreeBuilder {
 public:
  // Empties `document` and makes it the one that receives the nodes; all of them
  // without a pruning.
  explicit XmlTreeBuilder(XmlDocument& document, const XmlPruning* pruning = nullptr);
  // Empties the document again, for a parse that starts over.
  void Restart();

  // An element of qualified name prefix:local (local alone without a prefix) in
  // the namespace `uri` (empty: none). False when the pruning leaves it out with
  // everything inside it (its attributes need not be handed over).
  bool BeginElement(std::string_view prefix, std::string_view local, std::string_view uri);
  // An attribute of the element begun last, by its qualified name.
  void AddAttribute(std::string_view prefix, std::string_view local, std::string_view value);
  void EndElement();
  void AppendText(std::string_view text);
  void AddCData(std::string_view text);
  // A comment, a processing instruction or an entity reference left unexpanded.
  void AddOther();

 private:
  using NodeRecord = XmlDocument::NodeRecord;
  using NodeKind = XmlDocument::NodeKind;

  std::uint32_t Store(std::string_view text);
  std::uint32_t StoreName(std::string_view prefix, std::string_view local,
                          std::uint32_t& local_offset);
  std::int32_t Append(NodeRecord record);
  void CloseText();
  static bool Named(const std::vector<std::string_view>& names, std::string_view local);
  // Whether the event at hand is of a node the pruning leaves out.
  bool Skipping() const;

  struct OpenElement {
    std::int32_t element;
    bool keeps_all_children;
  };

  XmlDocument& document_;
  const XmlPruning* pruning_;
  std::int32_t open_ = 0;  // the element that receives children; 0 is the document
  // Whether every child of `open_` is kept, or (pruned) only the named elements.
  bool keeps_all_children_ = pruning_ == nullptr;
  std::vector<OpenElement> open_elements_;  // the elements around it
  int skipped_depth_ = 0;                   // elements open inside one the pruning left out
  bool text_open_ = false;
  std::uint32_t last_uri_offset_ = 0;  // every element of a namespace shares one copy
  std::uint32_t last_uri_length_ = 0;
};

struct XmlParseError {
  std::string reason;
  int line = 0;  // 1-based; 0 when unknown
  // The parser ran out of memory or could not be set up: not a verdict on the
  // document.
  bool resources = false;
};

// Parses `bytes` (encoding by the document's mark or declaration, UTF-8 by
// default) into `builder`, without validation, without loading a document type
// definition and without fetching anything. The first error when the document
// is not well-formed, namespaces included.
std::optional<XmlParseError> ParseXml(std::string_view bytes, XmlTreeBuilder& builder);

}  // namespace quorbin
