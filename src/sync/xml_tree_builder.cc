#include "sync/xml_tree_builder.h"

namespace quorbin {
namespace {

bool IsXmlBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
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

}  // namespace quorbin
