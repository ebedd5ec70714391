#include "sync/xml_document.h"

#include "support/code_page.h"
#include "support/line_file.h"
#include "sync/xml_tree_builder.h"

namespace quorbin {
namespace {

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

XmlTreeBuilder::XmlTreeBuilder(XmlDocument& document, const XmlPruning* pruning)
    : document_(document), pruning_(pruning) {
  Restart();
}

void XmlTreeBuilder::Restart() {
  document_.nodes_.clear();
  document_.attributes_.clear();
  document_.text_.clear();
  document_.nodes_.push_back({NodeKind::kDocument});
  open_ = 0;
  keeps_all_children_ = pruning_ == nullptr;
  open_elements_.clear();
  skipped_depth_ = 0;
  text_open_ = false;
  last_uri_offset_ = 0;
  last_uri_length_ = 0;
}

std::uint32_t XmlTreeBuilder::Store(std::string_view text) {
  const auto offset = static_cast<std::uint32_t>(document_.text_.size());
  document_.text_.append(text);
  return offset;
}

// Stores prefix:local (local alone without a prefix); `local_offset` tells where
// the local part starts.
std::uint32_t XmlTreeBuilder::StoreName(std::string_view prefix, std::string_view local,
                                        std::uint32_t& local_offset) {
  const std::uint32_t name = Store(prefix);
  if (!prefix.empty()) Store(":");
  local_offset = Store(local);
  return name;
}

std::int32_t XmlTreeBuilder::Append(NodeRecord record) {
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

// A text node ends at the next event that is not text; one of white space only is
// dropped again. It is always the last node and the last stored text.
void XmlTreeBuilder::CloseText() {
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

bool XmlTreeBuilder::Named(const std::vector<std::string_view>& names, std::string_view local) {
  for (const std::string_view name : names) {
    if (name == local) return true;
  }
  return false;
}

bool XmlTreeBuilder::BeginElement(std::string_view prefix, std::string_view local,
                                  std::string_view uri) {
  if (skipped_depth_ > 0 || (pruning_ && !keeps_all_children_ && !Named(pruning_->kept, local))) {
    ++skipped_depth_;
    return false;
  }
  CloseText();
  NodeRecord record{NodeKind::kElement};
  record.name = StoreName(prefix, local, record.local_name);
  record.name_length = static_cast<std::uint32_t>(document_.text_.size() - record.name);
  if (!uri.empty()) {
    if (uri != document_.Slice(last_uri_offset_, last_uri_length_)) {
      last_uri_offset_ = Store(uri);
      last_uri_length_ = static_cast<std::uint32_t>(uri.size());
    }
    record.uri = last_uri_offset_;
    record.uri_length = last_uri_length_;
  }
  record.first_attribute = static_cast<std::uint32_t>(document_.attributes_.size());
  const std::int32_t element = Append(record);
  open_elements_.push_back({open_, keeps_all_children_});
  open_ = element;
  keeps_all_children_ = !pruning_ || Named(pruning_->text_holders, local);
  return true;
}

void XmlTreeBuilder::AddAttribute(std::string_view prefix, std::string_view local,
                                  std::string_view value) {
  if (skipped_depth_ > 0) return;
  XmlDocument::AttributeRecord entry{};
  std::uint32_t local_offset = 0;
  entry.name = StoreName(prefix, local, local_offset);
  entry.name_length = static_cast<std::uint32_t>(document_.text_.size() - entry.name);
  entry.value = Store(value);
  entry.value_length = static_cast<std::uint32_t>(value.size());
  document_.attributes_.push_back(entry);
  ++document_.nodes_[open_].attribute_count;
}

void XmlTreeBuilder::EndElement() {
  if (skipped_depth_ > 0) {
    --skipped_depth_;
    return;
  }
  CloseText();
  if (open_elements_.empty()) return;
  open_ = open_elements_.back().element;
  keeps_all_children_ = open_elements_.back().keeps_all_children;
  open_elements_.pop_back();
}

bool XmlTreeBuilder::Skipping() const {
  return skipped_depth_ > 0 || !keeps_all_children_;
}

void XmlTreeBuilder::AppendText(std::string_view text) {
  if (Skipping()) return;
  if (text_open_) {
    document_.text_.append(text);
    document_.nodes_.back().value_length += static_cast<std::uint32_t>(text.size());
    return;
  }
  NodeRecord record{NodeKind::kText};
  const auto value = static_cast<std::uint32_t>(document_.text_.size());
  Append(record);
  document_.text_.append(text);
  NodeRecord& stored = document_.nodes_.back();
  stored.value = value;
  stored.value_length = static_cast<std::uint32_t>(text.size());
  text_open_ = true;
}

void XmlTreeBuilder::AddCData(std::string_view text) {
  if (Skipping()) return;
  CloseText();
  NodeRecord record{NodeKind::kCData};
  record.value = Store(text);
  record.value_length = static_cast<std::uint32_t>(text.size());
  Append(record);
}

void XmlTreeBuilder::AddOther() {
  if (Skipping()) return;
  Append(NodeRecord{NodeKind::kOther});
}

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
    throw XmlLoadFailure(LoadFailureMessage(
        error->reason.empty() ? "The document is not well-formed." : error->reason, error->line,
        bytes));
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
