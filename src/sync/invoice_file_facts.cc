#include "sync/invoice_file_facts.h"

#include <algorithm>
#include <cstring>
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

// Every name SearchedInvoiceElement and ExamineInvoiceBytes look up.
const XmlPruning kInvoiceFactsPruning{{"nfeProc", "NFe", "infNFe", "ide", "emit", "CNPJ", "cNF"},
                                      {"CNPJ", "cNF"}};

InvoiceFileFacts ExamineInvoiceBytes(std::string_view bytes, XmlDocument& document,
                                     const XmlPruning* pruning) {
  InvoiceFileFacts facts;
  try {
    document.Reparse(bytes, pruning);
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
  if (auto found = entries_.find(key); found != entries_.end()) {
    Entry& entry = found->second;
    if (entry.size == static_cast<std::uint64_t>(stamp.size) &&
        entry.modified_ns == stamp.modified_ns && entry.changed_ns == stamp.changed_ns) {
      entry.search = search_;
      answer_.shape = entry.shape;
      const bool comparable = entry.shape == InvoiceFileFacts::Shape::kComparable;
      answer_.failure = comparable ? std::string() : texts_[entry.first_text];
      answer_.cnpj = comparable ? texts_[entry.first_text] : std::string();
      answer_.cnf = comparable ? KeptCnf(entry) : std::string();
      return answer_;
    }
  }
  std::string error;
  if (!folder.ReadFile(name, contents_, &error, kMaxXmlFileBytes)) {
    // Not kept: a file that cannot be read now may be readable in a moment.
    answer_ = InvoiceFileFacts{};
    answer_.failure = LoadFailureMessage("Cannot read the file: " + error + ".", 0, {});
    return answer_;
  }
  answer_ = ExamineInvoiceBytes(contents_.bytes, document_);
  ReleaseScratch();
  const Key read_key{contents_.stamp.device, contents_.stamp.inode};
  if (const auto kept = entries_.find(read_key); kept != entries_.end()) {
    Forget(kept->second);
    entries_.erase(kept);
  }
  if (WorthKeeping(answer_, contents_)) Keep(read_key, contents_.stamp, answer_);
  return answer_;
}

void InvoiceFactsCache::Keep(const Key& key, const platform::FileStamp& stamp,
                             const InvoiceFileFacts& facts) {
  const bool comparable = facts.shape == InvoiceFileFacts::Shape::kComparable;
  Entry entry{};
  entry.modified_ns = stamp.modified_ns;
  entry.changed_ns = stamp.changed_ns;
  entry.size = static_cast<std::uint32_t>(stamp.size);
  entry.search = search_;
  entry.first_text = texts_.Add(comparable ? facts.cnpj : facts.failure);
  if (facts.cnf.size() <= sizeof entry.cnf) {
    std::memcpy(entry.cnf, facts.cnf.data(), facts.cnf.size());
    entry.cnf_size = static_cast<std::uint8_t>(facts.cnf.size());
  } else {
    const std::uint32_t pooled = texts_.Add(facts.cnf);
    std::memcpy(entry.cnf, &pooled, sizeof pooled);
    entry.cnf_size = kPooled;
  }
  entry.shape = facts.shape;
  entries_.emplace(key, entry);
}

std::uint32_t InvoiceFactsCache::PooledCnf(const Entry& entry) {
  std::uint32_t pooled = 0;
  std::memcpy(&pooled, entry.cnf, sizeof pooled);
  return pooled;
}

std::string InvoiceFactsCache::KeptCnf(const Entry& entry) const {
  if (entry.cnf_size == kPooled) return texts_[PooledCnf(entry)];
  return std::string(entry.cnf, entry.cnf_size);
}

void InvoiceFactsCache::Forget(const Entry& entry) {
  texts_.Release(entry.first_text);
  if (entry.cnf_size == kPooled) texts_.Release(PooledCnf(entry));
}

std::uint32_t InvoiceFactsCache::TextPool::Add(const std::string& text) {
  const auto [found, added] = index_.try_emplace(text, 0);
  if (!added) {
    ++uses_[found->second];
    return found->second;
  }
  std::uint32_t index;
  if (!free_.empty()) {
    index = free_.back();
    free_.pop_back();
    texts_[index] = &found->first;
    uses_[index] = 1;
  } else {
    index = static_cast<std::uint32_t>(texts_.size());
    texts_.push_back(&found->first);
    uses_.push_back(1);
  }
  found->second = index;
  return index;
}

void InvoiceFactsCache::TextPool::Release(std::uint32_t index) {
  if (--uses_[index] > 0) return;
  index_.erase(*texts_[index]);
  texts_[index] = nullptr;
  free_.push_back(index);
}

void InvoiceFactsCache::ReleaseScratch() {
  document_.Release(kMaxScratchBytes);
  if (contents_.bytes.capacity() > kMaxScratchBytes) contents_.bytes = std::string();
}

void InvoiceFactsCache::EndSearch() {
  std::erase_if(entries_, [this](const auto& item) {
    if (item.second.search == search_) return false;
    Forget(item.second);
    return true;
  });
}

}  // namespace quorbin
