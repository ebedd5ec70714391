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
// follows the tree. Files whose facts are unusually large, and files read within
// two seconds of their last change (whose times might not move at the next
// change), are not kept.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>

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

// File times advance in steps of the file system's resolution: a clock tick, one
// second, two seconds on FAT. A file read within a step of its last change could
// change again without its times moving, so its facts are kept only once it has
// been still for longer than any step.
inline constexpr std::int64_t kKeptOnceStillNs = 2'000'000'000;

// True when a file of that stamp, opened at `opened_ns`, is old enough to keep.
bool OldEnoughToKeep(const platform::FileStamp& stamp, std::int64_t opened_ns);

// The facts of a file's bytes, parsed now into `scratch`, whose memory is reused.
InvoiceFileFacts ExamineInvoiceBytes(std::string_view bytes, XmlDocument& scratch);

class InvoiceFactsCache {
 public:
  // The facts of the file `name` of `folder`, whose stamp was just taken as
  // `stamp`. The reference is valid until the next call.
  const InvoiceFileFacts& Examine(const platform::OpenFolder& folder, std::string_view name,
                                  const platform::FileStamp& stamp);

  void BeginSearch() { ++search_; }
  void EndSearch();

  std::size_t size() const { return entries_.size(); }

 private:
  struct Key {
    std::uint64_t device;
    std::uint64_t inode;
    bool operator==(const Key&) const = default;
  };
  struct KeyHash {
    std::size_t operator()(const Key& key) const {
      return std::hash<std::uint64_t>()(key.inode * 0x9E3779B97F4A7C15ull ^ key.device);
    }
  };
  struct Entry {
    platform::FileStamp stamp;
    std::uint32_t search;
    InvoiceFileFacts facts;
  };

  void ReleaseScratch();

  std::unordered_map<Key, Entry, KeyHash> entries_;
  InvoiceFileFacts uncached_;
  // One file and one document at a time; kept between files so that a search
  // does not allocate and free them for every file.
  platform::FileContents contents_;
  XmlDocument document_;
  std::uint32_t search_ = 0;
};

}  // namespace quorbin
