#include "sync/xml_document.h"

#include "support/ascii_text.h"
#include "support/code_page.h"
#include "support/line_file.h"
#include "sync/xml_tree_builder.h"

namespace quorbin {
namespace {

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

XmlDocument XmlDocument::Parse(std::string_view bytes, const XmlPruning* pruning) {
  XmlDocument document;
  document.Reparse(bytes, pruning);
  return document;
}

void XmlDocument::Reparse(std::string_view bytes, const XmlPruning* pruning) {
  if (bytes.size() > kMaxXmlFileBytes) {
    nodes_.clear();
    throw XmlLoadFailure(LoadFailureMessage(
        "The file is larger than " + std::to_string(kMaxXmlFileBytes) + " bytes.", 0, {}));
  }
  if (!pruning) {
    nodes_.reserve(64 + bytes.size() / 32);
    text_.reserve(bytes.size());
  }
  XmlTreeBuilder builder(*this, pruning);
  if (const auto error = ParseXml(bytes, builder)) {
    nodes_.clear();
    std::string message = LoadFailureMessage(
        error->reason.empty() ? "The document is not well-formed." : error->reason, error->line,
        bytes);
    if (error->resources) throw XmlResourceFailure(std::move(message));
    throw XmlLoadFailure(std::move(message));
  }
}

bool XmlDocument::operator==(const XmlDocument& other) const {
  if (nodes_.size() != other.nodes_.size()) return false;
  for (std::size_t i = 0; i < nodes_.size(); ++i) {
    const NodeRecord& a = nodes_[i];
    const NodeRecord& b = other.nodes_[i];
    if (a.kind != b.kind || a.first_child != b.first_child || a.last_child != b.last_child ||
        a.next_sibling != b.next_sibling || a.previous_sibling != b.previous_sibling ||
        a.attribute_count != b.attribute_count ||
        Slice(a.name, a.name_length) != other.Slice(b.name, b.name_length) ||
        a.name_length - (a.local_name - a.name) != b.name_length - (b.local_name - b.name) ||
        Slice(a.uri, a.uri_length) != other.Slice(b.uri, b.uri_length) ||
        Slice(a.value, a.value_length) != other.Slice(b.value, b.value_length)) {
      return false;
    }
    for (std::uint32_t k = 0; k < a.attribute_count; ++k) {
      const AttributeRecord& x = attributes_[a.first_attribute + k];
      const AttributeRecord& y = other.attributes_[b.first_attribute + k];
      if (Slice(x.name, x.name_length) != other.Slice(y.name, y.name_length) ||
          Slice(x.value, x.value_length) != other.Slice(y.value, y.value_length)) {
        return false;
      }
    }
  }
  return true;
}

void XmlDocument::Release(std::size_t bytes) {
  if (text_.capacity() + nodes_.capacity() * sizeof(NodeRecord) +
          attributes_.capacity() * sizeof(AttributeRecord) <=
      bytes) {
    return;
  }
  *this = XmlDocument();
}

XmlDocument XmlDocument::Load(const std::filesystem::path& path, const XmlPruning* pruning) {
  std::string bytes;
  try {
    bytes = ReadRegularFileBytes(path, kMaxXmlFileBytes);
  } catch (const Failure& failure) {
    throw XmlLoadFailure(LoadFailureMessage(failure.what(), 0, {}));
  }
  return Parse(bytes, pruning);
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
        !EqualsIgnoringCase(parent_uri, document_->Slice(child.uri, child.uri_length))) {
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
