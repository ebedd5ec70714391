#include "sync/invoice_file_facts.h"

#include <algorithm>
#include <exception>
#include <limits>

#include "sync/nfce_document.h"
#include "sync/xml_document.h"

namespace quorbin {
namespace {

// Facts larger than this come from files no point-of-sale program writes; they
// are worked out anew every time instead of being kept.
constexpr std::size_t kMaxKeptText = 1024;
// Memory kept for the next file after a large one has been examined.
constexpr std::size_t kMaxScratchBytes = 1 << 20;

bool WorthKeeping(const InvoiceFileFacts& facts, const platform::FileContents& contents,
                  std::int64_t opened_ns, std::int64_t still_ns) {
  return facts.from_document && OldEnoughToKeep(contents.stamp, opened_ns, still_ns) &&
         facts.failure.size() + facts.cnpj.size() + facts.cnf.size() <= kMaxKeptText;
}

}  // namespace

bool OldEnoughToKeep(const platform::FileStamp& stamp, std::int64_t opened_ns,
                     std::int64_t still_ns) {
  // Compared without a difference of the stamp's times, which may lie at either
  // end of their range.
  return stamp.changed_ns != 0 &&
         std::max(stamp.modified_ns, stamp.changed_ns) <= opened_ns - still_ns;
}

// Every name SearchedInvoiceElement and ExamineInvoiceBytes look up.
const XmlPruning kInvoiceFactsPruning{{"nfeProc", "NFe", "infNFe", "ide", "emit", "CNPJ", "cNF"},
                                      {"CNPJ", "cNF"}};

InvoiceFileFacts ExamineInvoiceBytes(std::string_view bytes, XmlDocument& document,
                                     const XmlPruning* pruning) {
  using Shape = InvoiceFileFacts::Shape;
  // A failure decided by the bytes (the parser's verdict, an element the document
  // lacks), or by something else (memory, the parser's own resources).
  auto failed = [](Shape shape, const std::exception& failure, bool from_document) {
    InvoiceFileFacts facts;
    facts.shape = shape;
    facts.from_document = from_document;
    facts.failure = failure.what();
    return facts;
  };
  InvoiceFileFacts facts;
  try {
    document.Reparse(bytes, pruning);
  } catch (const XmlResourceFailure& failure) {
    return failed(Shape::kFailed, failure, false);  // not a damaged file
  } catch (const XmlLoadFailure& failure) {
    return failed(Shape::kNotLoaded, failure, true);
  } catch (const std::exception& failure) {
    return failed(Shape::kFailed, failure, false);
  }
  try {
    const XmlNode invoice = SearchedInvoiceElement(document);
    if (!invoice.Exists()) {
      facts.shape = Shape::kNotInvoice;
      return facts;
    }
    if (!invoice.Child("ide").Exists()) {
      facts.shape = Shape::kWithoutIde;
      return facts;
    }
    facts.cnpj = invoice.Child("emit").Child("CNPJ").Text();
    facts.cnf = invoice.Child("ide").Child("cNF").Text();
    facts.shape = Shape::kComparable;
  } catch (const XmlFailure& failure) {
    return failed(Shape::kFailed, failure, true);
  } catch (const std::exception& failure) {
    return failed(Shape::kFailed, failure, false);
  }
  return facts;
}

const InvoiceFileFacts& InvoiceFactsCache::Examine(const platform::OpenFolder& folder,
                                                   std::string_view name,
                                                   const platform::FileStamp& stamp) {
  if (const KeptFile* kept = Find(stamp)) {
    Answer(*kept);
    return answer_;
  }
  // Read before the file is opened, as the system's clock is: a change made
  // meanwhile shows as a stamp younger than "now".
  const std::int64_t now_ns = now_ ? now_() : 0;
  std::string error;
  if (!folder.ReadFile(name, contents_, &error, kMaxXmlFileBytes)) {
    // Not kept: a file that cannot be read now may be readable in a moment.
    answer_ = InvoiceFileFacts{};
    answer_.from_document = false;
    answer_.failure = LoadFailureMessage("Cannot read the file: " + error + ".", 0, {});
    return answer_;
  }
  answer_ = ExamineInvoiceBytes(contents_.bytes, document_);
  ReleaseScratch();
  const std::int64_t opened_ns = now_ ? now_ns : contents_.opened_ns;
  if (WorthKeeping(answer_, contents_, opened_ns, kept_once_still_ns_)) {
    Keep(contents_.stamp, answer_);
  }
  return answer_;
}

const InvoiceFactsCache::KeptFile* InvoiceFactsCache::Find(const platform::FileStamp& stamp) {
  const auto sorted_end = files_.begin() + static_cast<std::ptrdiff_t>(sorted_);
  const auto found = std::lower_bound(
      files_.begin(), sorted_end, stamp,
      [](const KeptFile& file, const platform::FileStamp& wanted) { return file.stamp < wanted; });
  if (found == sorted_end || found->stamp != stamp) return nullptr;
  met_[static_cast<std::size_t>(found - files_.begin())] = true;
  return &*found;
}

void InvoiceFactsCache::Keep(const platform::FileStamp& stamp, const InvoiceFileFacts& facts) {
  using Shape = InvoiceFileFacts::Shape;
  const std::string& text = facts.shape == Shape::kComparable ? facts.cnf : facts.failure;
  if (texts_.size() + facts.cnpj.size() + text.size() > std::numeric_limits<std::uint32_t>::max()) {
    return;
  }
  KeptFile file{stamp,
                0,
                0,
                static_cast<std::uint16_t>(facts.cnpj.size()),
                static_cast<std::uint16_t>(text.size()),
                facts.shape};
  // Nearly every file names the emitter of the one before it.
  const KeptFile* previous = files_.size() > sorted_ ? &files_.back() : nullptr;
  if (previous &&
      std::string_view(texts_).substr(previous->cnpj_at, previous->cnpj_size) == facts.cnpj) {
    file.cnpj_at = previous->cnpj_at;
  } else {
    file.cnpj_at = static_cast<std::uint32_t>(texts_.size());
    texts_ += facts.cnpj;
  }
  file.text_at = static_cast<std::uint32_t>(texts_.size());
  texts_ += text;
  files_.push_back(file);
}

void InvoiceFactsCache::Answer(const KeptFile& file) {
  using Shape = InvoiceFileFacts::Shape;
  const std::string_view texts(texts_);
  const std::string_view text = texts.substr(file.text_at, file.text_size);
  answer_.shape = file.shape;
  answer_.from_document = true;
  answer_.cnpj = texts.substr(file.cnpj_at, file.cnpj_size);
  answer_.cnf = file.shape == Shape::kComparable ? text : std::string_view();
  answer_.failure =
      file.shape == Shape::kNotLoaded || file.shape == Shape::kFailed ? text : std::string_view();
}

void InvoiceFactsCache::BeginSearch() {
  met_.assign(sorted_, false);
}

void InvoiceFactsCache::EndSearch() {
  const bool all_met = std::find(met_.begin(), met_.end(), false) == met_.end();
  if (files_.size() == sorted_ && all_met) return;  // the memory stands as it is
  // The files met by this search (the kept ones it found, the ones it learned),
  // sorted, one per stamp; what std::unique leaves behind is erased unread.
  std::size_t remaining = 0;
  for (std::size_t i = 0; i < files_.size(); ++i) {
    if (i >= sorted_ || met_[i]) files_[remaining++] = files_[i];
  }
  files_.resize(remaining);
  std::sort(files_.begin(), files_.end(),
            [](const KeptFile& a, const KeptFile& b) { return a.stamp < b.stamp; });
  files_.erase(std::unique(files_.begin(), files_.end(),
                           [](const KeptFile& a, const KeptFile& b) { return a.stamp == b.stamp; }),
               files_.end());
  sorted_ = files_.size();
  met_.assign(sorted_, false);
  RebuildTexts();
}

// The texts anew from the files that remain: nothing is held for a file that is
// gone, and no count of uses can go wrong.
void InvoiceFactsCache::RebuildTexts() {
  std::size_t size = 0;
  for (const KeptFile& file : files_) size += file.cnpj_size + file.text_size;
  std::string texts;
  texts.reserve(size);
  std::string_view previous_cnpj;
  std::uint32_t previous_cnpj_at = 0;
  for (KeptFile& file : files_) {
    const std::string_view cnpj = std::string_view(texts_).substr(file.cnpj_at, file.cnpj_size);
    const std::string_view text = std::string_view(texts_).substr(file.text_at, file.text_size);
    if (cnpj != previous_cnpj) {
      previous_cnpj = cnpj;
      previous_cnpj_at = static_cast<std::uint32_t>(texts.size());
      texts += cnpj;
    }
    file.cnpj_at = previous_cnpj_at;
    file.text_at = static_cast<std::uint32_t>(texts.size());
    texts += text;
  }
  texts_ = std::move(texts);
}

void InvoiceFactsCache::ReleaseScratch() {
  document_.Release(kMaxScratchBytes);
  if (contents_.bytes.capacity() > kMaxScratchBytes) contents_.bytes = std::string();
}

}  // namespace quorbin
