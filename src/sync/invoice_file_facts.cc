#include "sync/invoice_file_facts.h"

#include <algorithm>
#include <exception>

#include "sync/nfce_document.h"
#include "sync/xml_document.h"

namespace quorbin {
namespace {

// Facts larger than this come from files no point-of-sale program writes; they
// are worked out anew every time instead of being kept.
constexpr std::size_t kMaxKeptText = 1024;
// Memory kept for the next file after a large one has been examined.
constexpr std::size_t kMaxScratchBytes = 1 << 20;

bool WorthKeeping(const InvoiceFileFacts& facts, const platform::FileContents& contents) {
  return OldEnoughToKeep(contents.stamp, contents.opened_ns) &&
         facts.failure.size() + facts.cnpj.size() + facts.cnf.size() <= kMaxKeptText;
}

}  // namespace

bool OldEnoughToKeep(const platform::FileStamp& stamp, std::int64_t opened_ns) {
  return opened_ns - std::max(stamp.modified_ns, stamp.changed_ns) >= kKeptOnceStillNs;
}

InvoiceFileFacts ExamineInvoiceBytes(std::string_view bytes, XmlDocument& document) {
  InvoiceFileFacts facts;
  try {
    document.Reparse(bytes);
  } catch (const std::exception& failure) {
    facts.failure = failure.what();
    return facts;
  }
  try {
    const XmlNode invoice = SearchedInvoiceElement(document);
    if (!invoice.Exists()) {
      facts.shape = InvoiceFileFacts::Shape::kNotInvoice;
      return facts;
    }
    if (!invoice.Child("ide").Exists()) {
      facts.shape = InvoiceFileFacts::Shape::kWithoutIde;
      return facts;
    }
    facts.cnpj = invoice.Child("emit").Child("CNPJ").Text();
    facts.cnf = invoice.Child("ide").Child("cNF").Text();
    facts.shape = InvoiceFileFacts::Shape::kComparable;
  } catch (const std::exception& failure) {
    facts.shape = InvoiceFileFacts::Shape::kFailed;
    facts.failure = failure.what();
    facts.cnpj.clear();
    facts.cnf.clear();
  }
  return facts;
}

const InvoiceFileFacts& InvoiceFactsCache::Examine(const platform::OpenFolder& folder,
                                                   std::string_view name,
                                                   const platform::FileStamp& stamp) {
  const Key key{stamp.device, stamp.inode};
  if (auto found = entries_.find(key); found != entries_.end() && found->second.stamp == stamp) {
    found->second.search = search_;
    return found->second.facts;
  }
  std::string error;
  if (!folder.ReadFile(name, contents_, &error, kMaxXmlFileBytes)) {
    // Not kept: a file that cannot be read now may be readable in a moment.
    uncached_ = InvoiceFileFacts{};
    uncached_.failure = LoadFailureMessage("Cannot read the file: " + error + ".", 0, {});
    return uncached_;
  }
  InvoiceFileFacts facts = ExamineInvoiceBytes(contents_.bytes, document_);
  ReleaseScratch();
  const Key read_key{contents_.stamp.device, contents_.stamp.inode};
  if (!WorthKeeping(facts, contents_)) {
    entries_.erase(read_key);
    uncached_ = std::move(facts);
    return uncached_;
  }
  Entry& entry = entries_[read_key];
  entry = Entry{contents_.stamp, search_, std::move(facts)};
  return entry.facts;
}

void InvoiceFactsCache::ReleaseScratch() {
  document_.Release(kMaxScratchBytes);
  if (contents_.bytes.capacity() > kMaxScratchBytes) contents_.bytes = std::string();
}

void InvoiceFactsCache::EndSearch() {
  std::erase_if(entries_, [this](const auto& item) { return item.second.search != search_; });
}

}  // namespace quorbin
