#include "sync/invoice_file_facts.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

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
                  std::int64_t still_ns) {
  return OldEnoughToKeep(contents.stamp, contents.opened_ns, still_ns) &&
         facts.failure.size() + facts.cnpj.size() + facts.cnf.size() <= kMaxKeptText;
}

// A 64-bit digest of everything the facts are trusted on.
std::uint64_t StampDigest(const platform::FileStamp& stamp) {
  std::uint64_t digest = 0x9E3779B97F4A7C15ull;
  for (const std::uint64_t value :
       {stamp.device, stamp.inode, static_cast<std::uint64_t>(stamp.size),
        static_cast<std::uint64_t>(stamp.modified_ns),
        static_cast<std::uint64_t>(stamp.changed_ns)}) {
    digest = (digest ^ value) * 0xBF58476D1CE4E5B9ull;
    digest ^= digest >> 31;
  }
  digest *= 0x94D049BB133111EBull;
  return digest ^ (digest >> 29);
}

// The value of an ide/cNF of exactly eight digits, as the point-of-sale program
// writes it; such a text is kept as its number and written back the same.
std::optional<std::uint32_t> EightDigits(std::string_view text) {
  if (text.size() != 8) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return value;
}

// How an entry's 32 bits of facts are packed: the kind in the low bits, then a
// payload: the index of a pooled text, or (kPackedComparable) the emitter's index
// and the eight-digit cNF's value.
constexpr std::uint32_t kKindBits = 3;
constexpr std::uint32_t kKindMask = (1u << kKindBits) - 1;
constexpr std::uint32_t kPayloadBits = 32 - kKindBits;
constexpr std::uint32_t kEmitterBits = 2;
constexpr std::uint32_t kPackedEmitters = 1u << kEmitterBits;
static_assert(99'999'999u < (1u << (kPayloadBits - kEmitterBits)));
enum : std::uint32_t {
  kNotLoaded,
  kNotInvoice,
  kFailed,
  kWithoutIde,
  kPackedComparable,
  kPooledComparable,
};
static_assert(kNotLoaded == static_cast<std::uint32_t>(InvoiceFileFacts::Shape::kNotLoaded) &&
              kNotInvoice == static_cast<std::uint32_t>(InvoiceFileFacts::Shape::kNotInvoice) &&
              kFailed == static_cast<std::uint32_t>(InvoiceFileFacts::Shape::kFailed) &&
              kWithoutIde == static_cast<std::uint32_t>(InvoiceFileFacts::Shape::kWithoutIde));

}  // namespace

bool OldEnoughToKeep(const platform::FileStamp& stamp, std::int64_t opened_ns,
                     std::int64_t still_ns) {
  return opened_ns - std::max(stamp.modified_ns, stamp.changed_ns) >= still_ns;
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
  if (const Entry* kept = Find(StampDigest(stamp))) {
    Answer(kept->facts);
    return answer_;
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
  if (!WorthKeeping(answer_, contents_, kept_once_still_ns_)) return answer_;
  if (const auto packed = Pack(answer_)) {
    const std::uint64_t digest = StampDigest(contents_.stamp);
    entries_.push_back(
        {static_cast<std::uint32_t>(digest >> 32), static_cast<std::uint32_t>(digest), *packed});
  }
  return answer_;
}

const InvoiceFactsCache::Entry* InvoiceFactsCache::Find(std::uint64_t digest) {
  if (sorted_ == 0) return nullptr;
  const std::size_t range = range_bits_ == 0 ? 0 : digest >> (64 - range_bits_);
  for (std::uint32_t i = ranges_[range]; i < ranges_[range + 1]; ++i) {
    if (entries_[i].Digest() == digest) {
      met_[i] = true;
      return &entries_[i];
    }
  }
  return nullptr;
}

std::optional<std::uint32_t> InvoiceFactsCache::Pack(const InvoiceFileFacts& facts) {
  using Shape = InvoiceFileFacts::Shape;
  auto pooled = [this](std::uint32_t kind,
                       const std::string& text) -> std::optional<std::uint32_t> {
    const std::uint32_t index = texts_.Add(text);
    if (index < (1u << kPayloadBits)) return index << kKindBits | kind;
    texts_.Release(index);
    return std::nullopt;
  };
  switch (facts.shape) {
    case Shape::kNotLoaded:
      return pooled(kNotLoaded, facts.failure);
    case Shape::kNotInvoice:
      return kNotInvoice;
    case Shape::kFailed:
      return pooled(kFailed, facts.failure);
    case Shape::kWithoutIde:
      return kWithoutIde;
    case Shape::kComparable:
      break;
  }
  if (const auto number = EightDigits(facts.cnf)) {
    const std::uint32_t emitter = cnpjs_.Add(facts.cnpj);
    if (emitter < kPackedEmitters) {
      return *number << (kKindBits + kEmitterBits) | emitter << kKindBits | kPackedComparable;
    }
    cnpjs_.Release(emitter);
  }
  return pooled(kPooledComparable, facts.cnpj + '\0' + facts.cnf);
}

void InvoiceFactsCache::Answer(std::uint32_t packed) {
  using Shape = InvoiceFileFacts::Shape;
  const std::uint32_t payload = packed >> kKindBits;
  answer_.failure.clear();
  answer_.cnpj.clear();
  answer_.cnf.clear();
  const std::uint32_t kind = packed & kKindMask;
  if (kind < kPackedComparable) {  // these kinds are the shapes themselves
    answer_.shape = static_cast<Shape>(kind);
    if (kind == kNotLoaded || kind == kFailed) answer_.failure = texts_[payload];
    return;
  }
  switch (kind) {
    case kPackedComparable: {
      answer_.shape = Shape::kComparable;
      answer_.cnpj = cnpjs_[payload & (kPackedEmitters - 1)];
      char digits[16];
      std::snprintf(digits, sizeof digits, "%08u", payload >> kEmitterBits);
      answer_.cnf = digits;
      return;
    }
    default: {  // kPooledComparable
      answer_.shape = Shape::kComparable;
      const std::string& pair = texts_[payload];
      const std::size_t split = pair.find('\0');
      answer_.cnpj = pair.substr(0, split);
      answer_.cnf = pair.substr(split + 1);
      return;
    }
  }
}

void InvoiceFactsCache::Release(std::uint32_t packed) {
  const std::uint32_t kind = packed & kKindMask;
  const std::uint32_t payload = packed >> kKindBits;
  if (kind == kNotLoaded || kind == kFailed || kind == kPooledComparable) texts_.Release(payload);
  if (kind == kPackedComparable) cnpjs_.Release(payload & (kPackedEmitters - 1));
}

void InvoiceFactsCache::BeginSearch() {
  met_.assign(sorted_, false);
}

void InvoiceFactsCache::EndSearch() {
  const bool all_met = std::find(met_.begin(), met_.end(), false) == met_.end();
  if (entries_.size() > sorted_ || !all_met) Rebuild();
  met_.assign(sorted_, false);
}

void InvoiceFactsCache::Rebuild() {
  std::size_t kept = 0;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (i >= sorted_ || (i < met_.size() && met_[i])) {
      entries_[kept++] = entries_[i];
    } else {
      Release(entries_[i].facts);
    }
  }
  entries_.resize_down(kept);
  std::sort(entries_.begin(), entries_.end(),
            [](const Entry& a, const Entry& b) { return a.Digest() < b.Digest(); });
  // A file met twice in one search (a second link to it) was learned twice.
  Entry* const duplicates =
      std::unique(entries_.begin(), entries_.end(),
                  [](const Entry& a, const Entry& b) { return a.Digest() == b.Digest(); });
  std::for_each(duplicates, entries_.end(), [this](const Entry& entry) { Release(entry.facts); });
  entries_.resize_down(static_cast<std::size_t>(duplicates - entries_.begin()));
  entries_.ShrinkWhenLoose();
  sorted_ = entries_.size();

  // About eight entries per range: a lookup reads one or two cache lines.
  range_bits_ = entries_.size() < 16 ? 0 : std::bit_width(entries_.size() / 8);
  ranges_.assign((std::size_t{1} << range_bits_) + 1, 0);
  for (const Entry& entry : entries_) {
    const std::size_t range = range_bits_ == 0 ? 0 : entry.Digest() >> (64 - range_bits_);
    ++ranges_[range + 1];
  }
  for (std::size_t i = 1; i < ranges_.size(); ++i) ranges_[i] += ranges_[i - 1];
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

void InvoiceFactsCache::EntryArray::push_back(const Entry& entry) {
  if (size_ == capacity_) Reallocate(std::max<std::size_t>(1024, capacity_ + capacity_ / 2));
  data_[size_++] = entry;
}

void InvoiceFactsCache::EntryArray::ShrinkWhenLoose() {
  if (capacity_ > 2 * size_ + 1024) Reallocate(size_ + size_ / 8);
}

void InvoiceFactsCache::EntryArray::Reallocate(std::size_t capacity) {
  void* grown = std::realloc(data_, std::max<std::size_t>(capacity, 1) * sizeof(Entry));
  if (!grown) throw std::bad_alloc();
  data_ = static_cast<Entry*>(grown);
  capacity_ = capacity;
}

void InvoiceFactsCache::ReleaseScratch() {
  document_.Release(kMaxScratchBytes);
  if (contents_.bytes.capacity() > kMaxScratchBytes) contents_.bytes = std::string();
}

}  // namespace quorbin
