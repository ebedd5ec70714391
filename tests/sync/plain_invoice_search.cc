#include "plain_invoice_search.h"

#include <algorithm>
#include <set>
#include <stdexcept>
#include <system_error>
#include <utility>

#include "plain_system.h"
#include "support/integer_text.h"
#include "support/paths.h"

namespace quorbin::testing {
namespace {

namespace fs = std::filesystem;

std::string Folded(const std::string& name) {
  std::string folded = name;
  for (char& c : folded) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return folded;
}

bool IsXmlName(const std::string& name) {
  const auto dot = name.rfind('.');
  return dot != std::string::npos && Folded(name.substr(dot)) == ".XML";
}

void Walk(const std::string& folder, std::set<std::pair<std::uint64_t, std::uint64_t>>& listed,
          std::vector<std::string>& files) {
  const auto own = PlainFolderIdentity(PathFromUtf8(folder));
  if (!own || !listed.insert(*own).second) return;
  std::error_code failed;
  std::vector<std::pair<std::string, std::string>> names;  // folded, as written
  for (const auto& entry : fs::directory_iterator(PathFromUtf8(folder), failed)) {
    const std::string name = Utf8FromPath(entry.path().filename());
    names.emplace_back(Folded(name), name);
  }
  if (failed) return;
  std::sort(names.begin(), names.end());
  const std::string prefix = folder + std::string(1, fs::path::preferred_separator);
  for (const auto& [folded, name] : names) {
    std::error_code ignored;
    if (fs::is_directory(PathFromUtf8(prefix + name), ignored)) {
      Walk(prefix + name, listed, files);
    } else if (IsXmlName(name)) {
      files.push_back(prefix + name);
    }
  }
}

[[noreturn]] void Missing(const std::string& name) {
  throw std::runtime_error("Element '" + name + "' not found.");
}

// The agent's lookup: the first child element whose qualified or local name is
// `name`; below an element with a namespace, only one of the same namespace
// (ASCII letters compared without case). Nothing for a missing parent's child.
struct Found {
  const PlainXmlNode* node;
  std::string name;
};

Found Child(const Found& parent, const std::string& name) {
  if (!parent.node) Missing(parent.name);
  for (const PlainXmlNode& child : parent.node->children) {
    if (child.kind != PlainXmlNode::Kind::kElement) continue;
    if (child.qualified != name && child.local != name) continue;
    if (!parent.node->uri.empty() && Folded(parent.node->uri) != Folded(child.uri)) continue;
    return {&child, name};
  }
  return {nullptr, name};
}

std::string Text(const Found& element) {
  if (!element.node) Missing(element.name);
  const auto& children = element.node->children;
  if (children.empty()) return {};
  if (children.size() > 1 || (children[0].kind != PlainXmlNode::Kind::kText &&
                              children[0].kind != PlainXmlNode::Kind::kCData)) {
    throw std::runtime_error("Element '" + element.name + "' does not hold text only.");
  }
  return children[0].value;
}

// nfeProc/NFe/infNFe, else NFe/infNFe at the root; an NFe without infNFe fails.
Found InvoiceElement(const PlainXmlNode& document) {
  const Found root{&document, "#document"};
  const Found wrapper = Child(root, "nfeProc");
  Found nfe = wrapper.node ? Child(wrapper, "NFe") : Found{nullptr, "NFe"};
  if (!nfe.node) nfe = Child(root, "NFe");
  if (!nfe.node) return nfe;
  const Found invoice = Child(nfe, "infNFe");
  if (!invoice.node) Missing("infNFe");
  return invoice;
}

}  // namespace

// The documents of the model are ASCII: a character is a byte.
std::string PlainSourceLine(const std::string& bytes, int line) {
  std::size_t start = 0;
  for (int at = 1; at < line; ++at) {
    start = bytes.find('\n', start);
    if (start == std::string::npos) return {};
    ++start;
  }
  if (line <= 0 || start > bytes.size()) return {};
  std::string text = bytes.substr(start, bytes.find('\n', start) - start);
  if (!text.empty() && text.back() == '\r') text.pop_back();
  return text.substr(0, 40);
}

std::vector<std::string> PlainXmlFiles(const fs::path& root) {
  std::set<std::pair<std::uint64_t, std::uint64_t>> listed;
  std::vector<std::string> files;
  Walk(Utf8FromPath(root), listed, files);
  return files;
}

PlainFileFacts PlainFacts(const std::string& bytes) {
  using Shape = PlainFileFacts::Shape;
  PlainFileFacts facts;
  PlainXmlNode document;
  if (auto failure = ParsePlainXmlTree(bytes, document)) {
    facts.failure = std::move(*failure);
    return facts;
  }
  try {
    const Found invoice = InvoiceElement(document);
    if (!invoice.node) {
      facts.shape = Shape::kNotInvoice;
    } else if (!Child(invoice, "ide").node) {
      facts.shape = Shape::kWithoutIde;
    } else {
      facts.cnpj = Text(Child(Child(invoice, "emit"), "CNPJ"));
      facts.cnf = Text(Child(Child(invoice, "ide"), "cNF"));
      facts.shape = Shape::kComparable;
    }
  } catch (const std::runtime_error& failure) {
    facts.shape = Shape::kFailed;
    facts.failure = failure.what();
  }
  return facts;
}

}  // namespace quorbin::testing
