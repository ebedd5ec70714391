// A quick reading of plain XML documents, in front of libxml2.
//
// Point-of-sale programs write invoices in a small part of XML: UTF-8, a plain
// declaration, elements and attributes with ASCII names, namespaces declared with
// absolute URIs, the five predefined entities, character references and
// comments. For such a document, when it is well-formed, ReadPlainXml hands the
// builder the same events libxml2's SAX2 interface gives it and returns true;
// the builder then holds the same nodes.
//
// It never decides that a document is not well-formed: anything outside that
// part of XML (a byte-order mark, another encoding, a document type, a processing
// instruction, a prefixed attribute, an undeclared prefix, a declaration of the
// prefixes xml or xmlns or of their reserved namespace names, a name outside
// ASCII, deep nesting, a large file), and any fault at all, returns false, leaving
// the builder part way (XmlTreeBuilder::Restart empties it), and the document
// goes to libxml2, whose acceptance and failure messages stay the only ones.
#pragma once

#include <optional>
#include <string_view>

#include "sync/xml_tree_builder.h"

namespace quorbin {

bool ReadPlainXml(std::string_view bytes, XmlTreeBuilder& builder);

// ParseXml without the plain reader in front: libxml2 alone.
std::optional<XmlParseError> ParseXmlWithLibxml2(std::string_view bytes, XmlTreeBuilder& builder);

}  // namespace quorbin
