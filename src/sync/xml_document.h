// XmlDocument: an XML file loaded whole and read by the agent's fixed rules.
//
// Loading: the bytes are parsed by the system's parser (libxml2 on Linux, the
// newest installed MSXML on Windows; see xml_tree_builder.h) without validation
// and without loading a document type definition; nothing is ever fetched from
// the network or another file. With libxml2 a reference to an entity the
// document declares itself is not expanded: with no external subset it makes the
// document fail to load (undeclared), otherwise it stands as a child that is not
// text. MSXML expands it, refuses a document type declaration (6.0), or refuses
// expansions beyond its limits. A text node of white space only (blank, tab, CR,
// LF) is dropped.
//
// Reading:
//  - Child(name): the first child element, in document order, whose qualified
//    name or local name equals `name` exactly. Below an element that has a
//    namespace URI the child's URI must equal it, ASCII letters compared without
//    regard to case; children of the document and of an element without a
//    namespace match by name alone. No match gives a missing node; asking a
//    missing node for a child, its text or an attribute fails (XmlFailure).
//  - Text(): the value of the only child when that child is text or CDATA, empty
//    text without children; anything else (several children, an element, a
//    comment, a processing instruction, an entity reference) fails.
//  - Attribute(name): the value of the attribute of that qualified name, or
//    nothing when absent (an empty value is a value).
//
// A load failure (XmlLoadFailure) carries the parser's reason, CR LF, "Line: N",
// CR LF and at most the first 40 characters of the failing line. Only regular
// files of at most kMaxXmlFileBytes load; anything else fails unread.
//
// A partial document (Reparse with an XmlPruning) is loaded exactly as a whole
// one, with the same failures, but keeps only the elements the pruning names and
// what lies on their way: lookups of those names give what the whole document
// gives, and so does the text of an element named among `text_holders`.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/failure.h"

namespace quorbin {

// Larger files are refused without being read: an invoice file is a few hundred
// kilobytes at most, and a document costs several times its size in memory.
inline constexpr std::size_t kMaxXmlFileBytes = std::size_t{4} << 20;

class XmlFailure : public Failure {
 public:
  using Failure::Failure;
};

class XmlLoadFailure : public XmlFailure {
 public:
  using XmlFailure::XmlFailure;
};

// A load that the parser could not finish for want of memory or another
// resource of its own: no verdict on the bytes, which may load next time.
class XmlResourceFailure : public XmlLoadFailure {
 public:
  using XmlLoadFailure::XmlLoadFailure;
};

class XmlDocument;

// Which nodes a partial document keeps. Below the document and below a kept
// element, a child element is kept when its local name is among `kept`; of an
// element named among `text_holders` every child node is kept (child elements by
// the same rule for their own children). Nothing else is stored.
struct XmlPruning {
  std::vector<std::string_view> kept;
  std::vector<std::string_view> text_holders;
};

// A handle on one node of a document; valid while the document lives.
class XmlNode {
 public:
  bool Exists() const { return index_ >= 0; }
  XmlNode Child(std::string_view name) const;
  std::string Text() const;
  std::optional<std::string> Attribute(std::string_view name) const;

 private:
  friend class XmlDocument;
  XmlNode(const XmlDocument* document, std::int32_t index, std::string_view name)
      : document_(document), index_(index), name_(name) {}
  void RequireExists() const;

  const XmlDocument* document_;
  std::int32_t index_;     // -1 for a missing node
  std::string_view name_;  // the name it was looked up by, for messages
};

class XmlDocument {
 public:
  enum class NodeKind : std::uint8_t { kDocument, kElement, kText, kCData, kOther };

  // Throws XmlLoadFailure when the file cannot be read, is too large or is not
  // well-formed.
  // With `pruning` only part of the document is kept (see above).
  static XmlDocument Load(const std::filesystem::path& path, const XmlPruning* pruning = nullptr);
  static XmlDocument Parse(std::string_view bytes, const XmlPruning* pruning = nullptr);

  // Replaces this document with the one in `bytes`, reusing the memory of the
  // previous one (a search parses thousands of files one after the other). On
  // failure the document is left empty. With `pruning` only part of the document
  // is kept (see above).
  void Reparse(std::string_view bytes, const XmlPruning* pruning = nullptr);
  // Gives back the memory held for parsing, when it has grown beyond `bytes`.
  void Release(std::size_t bytes);

  // The same nodes in the same places, with the same names, namespaces, texts
  // and attributes.
  bool operator==(const XmlDocument& other) const;

  // The document itself: its children are the root-level nodes.
  XmlNode Node() const { return XmlNode(this, 0, "#document"); }
  XmlNode Child(std::string_view name) const { return Node().Child(name); }

 private:
  friend class XmlNode;
  friend class XmlTreeBuilder;

  struct NodeRecord {
    NodeKind kind;
    std::int32_t first_child = -1;
    std::int32_t last_child = -1;
    std::int32_t next_sibling = -1;
    std::int32_t previous_sibling = -1;
    std::uint32_t name = 0;  // qualified name, offset into text_
    std::uint32_t name_length = 0;
    std::uint32_t local_name = 0;  // a suffix of the qualified name
    std::uint32_t uri = 0;
    std::uint32_t uri_length = 0;
    std::uint32_t value = 0;  // text and CDATA
    std::uint32_t value_length = 0;
    std::uint32_t first_attribute = 0;
    std::uint32_t attribute_count = 0;
  };
  struct AttributeRecord {
    std::uint32_t name;
    std::uint32_t name_length;
    std::uint32_t value;
    std::uint32_t value_length;
  };

  std::string_view Slice(std::uint32_t offset, std::uint32_t length) const {
    return std::string_view(text_).substr(offset, length);
  }

  std::vector<NodeRecord> nodes_;
  std::vector<AttributeRecord> attributes_;
  std::string text_;  // every name and value, back to back
};

// The message of a load failure: reason, CR LF, "Line: " + line, CR LF, at most
// the first 40 characters of that line of `bytes` (1-based).
std::string LoadFailureMessage(std::string_view reason, int line, std::string_view bytes);

}  // namespace quorbin
