// What a folder search needs to know of one XML file, and the memory of it that
// lets a repeated search skip parsing files that did not change.
//
// The facts are those of a fresh parse: whether the file loaded (or the load
// failure's message), whether it has an invoice element (or the failure of
// finding one), whether that element has `ide`, and the texts of emit/CNPJ and
// ide/cNF (or the failure of reading them). Nothing in them depends on the
// emitter or the number being searched for.
//
// InvoiceFactsCache trusts what it learned of a file only while the file's
// device, inode, size, modification time and change time are all unchanged; any
// change makes the file be read and parsed again. A search marks every file it
// examines; EndSearch forgets the files the search did not meet, so the memory
// follows the tree: about 13 bytes per file. Files whose facts are unusually large, and files read
// within two seconds of their last change (whose times might not move at the next change), are not
// kept.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/folder_listing.h"
#include "sync/xml_document.h"

namespace quorbin {

struct InvoiceFileFacts {
  enum class Shape : std::uint8_t {
    kNotLoaded,   // `failure` is the load failure's message
    kNotInvoice,  // no nfeProc/NFe nor NFe at the root level
    kFailed,      // `failure` is the message of reading the invoice element
    kWithoutIde,  // the invoice element has no `ide`
    kComparable,  // `cnpj` and `cnf` hold the texts of emit/CNPJ and ide/cNF
  };

  Shape shape = Shape::kNotLoaded;
  std::string failure;
  std::string cnpj;
  std::string cnf;
};

// The elements the facts are read from. A search keeps only these of each file.
extern const XmlPruning kInvoiceFactsPruning;

// File times advance in steps of the file system's resolution: a clock tick, one
// second, two seconds on FAT. A file read within a step of its last change could
// change again without its times moving, so its facts are kept only once it has
// been still for longer than any step.
inline constexpr std::int64_t kKeptOnceStillNs = 2'000'000'000;

// True when a file of that stamp, opened at `opened_ns`, is old enough to keep.
bool OldEnoughToKeep(const platform::FileStamp& stamp, std::int64_t opened_ns,
                     std::int64_t still_ns = kKeptOnceStillNs);

// The facts of a file's bytes, parsed now into `scratch`, whose memory is reused.
// The file is loaded whole; of its tree only what `pruning` keeps is built
// (everything when it is null), which gives the same facts.
InvoiceFileFacts ExamineInvoiceBytes(std::string_view bytes, XmlDocument& scratch,
                                     const XmlPruning* pruning = &kInvoiceFactsPruning);

class InvoiceFactsCache {
 public:
  // `kept_once_still_ns`: how long a file must have been still before its facts
  // are kept (tests shorten it).
  explicit InvoiceFactsCache(std::int64_t kept_once_still_ns = kKeptOnceStillNs)
      : kept_once_still_ns_(kept_once_still_ns) {}

  // The facts of the file `name` of `folder`, whose stamp was just taken as
  // `stamp`. The reference is valid until the next call.
  const InvoiceFileFacts& Examine(const platform::OpenFolder& folder, std::string_view name,
                                  const platform::FileStamp& stamp);

  void BeginSearch();
  // Forgets the files the search did not meet, and the facts of files that
  // changed since they were kept.
  void EndSearch();

  std::size_t size() const { return entries_.size(); }

 private:
  // What is kept of one file: 12 bytes, because a terminal keeps a hundred
  // thousand of them. The file is known by a 64-bit digest of its whole stamp, so
  // a file whose stamp changed is simply not found (its old entry is forgotten at
  // the end of the search); `facts` packs the shape and its texts.
  struct Entry {
    std::uint32_t digest_high;
    std::uint32_t digest_low;
    std::uint32_t facts;
    std::uint64_t Digest() const { return std::uint64_t{digest_high} << 32 | digest_low; }
  };
  // Texts shared by the entries (nearly every file names the same emitter), each
  // kept while an entry uses it.
  class TextPool {
   public:
    std::uint32_t Add(const std::string& text);
    void Release(std::uint32_t index);
    const std::string& operator[](std::uint32_t index) const { return *texts_[index]; }

   private:
    std::unordered_map<std::string, std::uint32_t> index_;
    std::vector<const std::string*> texts_;
    std::vector<std::uint32_t> uses_;
    std::vector<std::uint32_t> free_;
  };

  const Entry* Find(std::uint64_t digest);
  void Answer(std::uint32_t packed);
  std::optional<std::uint32_t> Pack(const InvoiceFileFacts& facts);
  void Release(std::uint32_t packed);
  void ReleaseScratch();
  void Rebuild();

  // Entries in memory that grows in place where the system can (a large block is
  // remapped, not copied), so that growing never holds two copies of the table.
  class EntryArray {
   public:
    EntryArray() = default;
    ~EntryArray() { std::free(data_); }
    EntryArray(const EntryArray&) = delete;
    EntryArray& operator=(const EntryArray&) = delete;

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Entry* begin() { return data_; }
    Entry* end() { return data_ + size_; }
    Entry& operator[](std::size_t i) { return data_[i]; }
    void push_back(const Entry& entry);
    void resize_down(std::size_t size) { size_ = size; }
    void ShrinkWhenLoose();

   private:
    void Reallocate(std::size_t capacity);

    Entry* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
  };

  // The entries kept at the end of the latest search, sorted by digest, with the
  // first entry of each range of digests (by their top bits) in `ranges_`; after
  // them, unsorted, the entries learned by the current search.
  std::int64_t kept_once_still_ns_;
  EntryArray entries_;
  std::size_t sorted_ = 0;
  std::vector<std::uint32_t> ranges_;
  int range_bits_ = 0;
  std::vector<bool> met_;    // of the sorted entries, by the current search
  TextPool texts_;           // failures, and emitter/cNF pairs that do not pack
  TextPool cnpjs_;           // emitters of packed entries: the first four only
  InvoiceFileFacts answer_;  // the facts handed out by the latest Examine
  // One file and one document at a time; kept between files so that a search
  // does not allocate and free them for every file.
  platform::FileContents contents_;
  XmlDocument document_;
};

}  // namespace quorbin
