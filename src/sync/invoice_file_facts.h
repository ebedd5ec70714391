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
// device, inode, size, modification time and change time are all unchanged: the
// whole stamp is the key, compared exactly. Only the parser's verdict on a
// file's bytes is kept, and only once the file has been still for longer than
// any step of the file system's clock; a stamp without a change time (FAT and
// exFAT volumes on Windows) is never trusted. A search marks every file it
// meets; EndSearch forgets the files the search did not meet and rebuilds the
// memory from the files that remain, texts included, so that nothing is kept
// for a file that is gone. About 64 bytes per file.
//
// A file's age is measured against the moment the system opened it, read from
// the wall clock just before; a FileTimeNow given to the memory replaces that
// clock (tests set "now" by hand, so that a run replays).
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/folder_listing.h"
#include "sync/xml_document.h"

namespace quorbin {

struct InvoiceFileFacts {
  enum class Shape : std::uint8_t {
    kNotLoaded,   // `failure` is the load failure's message
    kNotInvoice,  // no nfeProc/NFe nor NFe at the root level
    kFailed,      // `failure` is the message of reading the invoice element, or of a
                  // load stopped by something other than the bytes (from_document false)
    kWithoutIde,  // the invoice element has no `ide`
    kComparable,  // `cnpj` and `cnf` hold the texts of emit/CNPJ and ide/cNF
  };

  Shape shape = Shape::kNotLoaded;
  // False when something other than the file's bytes decided the facts (memory
  // ran out, the file could not be read): the next look may go otherwise.
  bool from_document = true;
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

// True when a file of that stamp, opened at `opened_ns`, is old enough to keep:
// still for `still_ns`, and its stamp has a change time at all.
bool OldEnoughToKeep(const platform::FileStamp& stamp, std::int64_t opened_ns,
                     std::int64_t still_ns = kKeptOnceStillNs);

// The facts of a file's bytes, parsed now into `scratch`, whose memory is reused.
// The file is loaded whole; of its tree only what `pruning` keeps is built
// (everything when it is null), which gives the same facts.
InvoiceFileFacts ExamineInvoiceBytes(std::string_view bytes, XmlDocument& scratch,
                                     const XmlPruning* pruning = &kInvoiceFactsPruning);

// "Now" on the scale of file stamps: nanoseconds since 1970-01-01 UTC.
using FileTimeNow = std::function<std::int64_t()>;

class InvoiceFactsCache {
 public:
  // `kept_once_still_ns`: how long a file must have been still before its facts
  // are kept (tests shorten it). `now`: the clock a file's age is measured
  // against; empty, the moment the system opened the file.
  explicit InvoiceFactsCache(std::int64_t kept_once_still_ns = kKeptOnceStillNs,
                             FileTimeNow now = {})
      : kept_once_still_ns_(kept_once_still_ns), now_(std::move(now)) {}

  // The facts of the file `name` of `folder`, whose stamp was just taken as
  // `stamp`. The reference is valid until the next call.
  const InvoiceFileFacts& Examine(const platform::OpenFolder& folder, std::string_view name,
                                  const platform::FileStamp& stamp);

  void BeginSearch();
  // Forgets the files the search did not meet, and the facts of files that
  // changed since they were kept.
  void EndSearch();

  std::size_t size() const { return sorted_; }

 private:
  // What is kept of one file. Its texts lie in `texts_`: the emitter's CNPJ, and
  // the failure's message or the cNF, as the shape says.
  struct KeptFile {
    platform::FileStamp stamp;
    std::uint32_t cnpj_at;
    std::uint32_t text_at;
    std::uint16_t cnpj_size;
    std::uint16_t text_size;
    InvoiceFileFacts::Shape shape;
  };

  const KeptFile* Find(const platform::FileStamp& stamp);
  void Keep(const platform::FileStamp& stamp, const InvoiceFileFacts& facts);
  void Answer(const KeptFile& file);
  void RebuildTexts();
  void ReleaseScratch();

  std::int64_t kept_once_still_ns_;
  FileTimeNow now_;
  // The first `sorted_` files are those kept at the end of the latest search,
  // sorted by stamp, one per stamp; after them, in the order met, the files
  // learned by the current search (a file met twice is learned twice). A deque
  // grows without copying what it holds.
  std::deque<KeptFile> files_;
  std::size_t sorted_ = 0;
  std::vector<bool> met_;  // of the sorted files, by the current search
  // The texts of `files_` and of nothing else once a search has ended. Files
  // that name the same emitter one after the other share its text.
  std::string texts_;
  InvoiceFileFacts answer_;  // the facts handed out by the latest Examine
  // One file and one document at a time; kept between files so that a search
  // does not allocate and free them for every file.
  platform::FileContents contents_;
  XmlDocument document_;
};

}  // namespace quorbin
