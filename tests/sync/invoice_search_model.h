// A model of the folder search for the tests that hold the search's memory of
// files to the plain computation: a small NFC-e tree on a drive C of its own,
// changed at random, searched by the agent's locator (which keeps what it
// learned from search to search) and by the plain search of
// plain_invoice_search.h, which lists and parses every file afresh with nothing
// shared with the agent's listing, parser or memory.
//
// After each search the two must agree on the path found, the log lines, where
// among the lines the working set was trimmed, and how many files the memory
// holds: exactly the files the search met that are old enough to keep (or were
// kept while the clock ran ahead and have not changed since).
//
// Time: the memory reads the model's clock, never the wall clock. The model
// moves from one period to the next ("time passes"): a period starts at the
// first file time the file system gives after the previous period, measured on
// a probe file beside the tree, so that every file changed before it is older
// and every file changed after it is not, whatever the file system's step
// (nanoseconds, whole seconds). The clock then reads just under the stillness
// age after the period's start: files of earlier periods are old, files of this
// one young. So the same choices give the same run on any file system.
//
// Every random choice comes from `pick`: a random engine drives it in the unit
// test, the fuzzer's bytes in the fuzz target.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "plain_invoice_search.h"
#include "support/activity_log.h"
#include "sync/invoice_location.h"
#include "sync_fixture.h"
#include "testing/manual_clock.h"
#include "testing/temp_dir.h"

namespace quorbin::testing {

// What one search shows: the path it returns, the log lines it writes (from
// "Caminho: " on), for every trim of the working set the number of lines
// written before it, and how many files the memory holds afterwards.
struct SearchOutcome {
  std::string found;
  std::vector<std::string> lines;
  std::vector<std::size_t> trims;
  std::size_t remembered = 0;

  bool operator==(const SearchOutcome&) const = default;
};
std::ostream& operator<<(std::ostream& out, const SearchOutcome& outcome);

class InvoiceSearchModel {
 public:
  // Returns a choice in [0, n).
  using Pick = std::function<std::uint32_t(std::uint32_t n)>;

  explicit InvoiceSearchModel(Pick pick);
  ~InvoiceSearchModel();

  // Makes one change to the tree and chooses the emitter and number of the next
  // search; returns what it did, for the history.
  std::string Change();
  SearchOutcome AgentSearch();
  // The plain search; it also works out what the memory must hold afterwards.
  SearchOutcome PlainSearch();

  // Every change so far, one per line.
  const std::string& History() const { return history_; }
  // The largest step between two file times seen on the probe file: the file
  // system's time step where the tree lies, or less.
  std::int64_t FileTimeStepNs() const { return time_step_ns_; }

 private:
  std::filesystem::path Root(std::uint32_t index) const;
  std::filesystem::path AnyFolder();
  std::filesystem::path NewName();
  std::string AnyContent();
  std::vector<std::filesystem::path> Entries(bool files_only) const;
  InvoiceRow Row() const;
  std::string DoChange();
  std::string RewriteWithTimesPutBack(const std::filesystem::path& file);
  std::string RewriteWhileTheClockRunsAhead(const std::filesystem::path& file);
  void NextPeriod();
  void Hint(const std::string& bytes);

  Pick pick_;
  TempDir dir_;
  std::filesystem::path nfce_;
  ManualClock clock_;  // the log's: its stamps are not compared
  ActivityLog log_;
  RecordingPump pump_;
  std::string emitter_;
  std::int32_t number_ = 0;
  std::vector<std::int32_t> numbers_;  // every cNF written so far
  std::optional<std::int32_t> hint_;   // the code of a file just rewritten
  std::int64_t period_start_ns_ = 0;
  std::int64_t now_ns_ = 0;  // what the memory reads as "now"
  std::int64_t time_step_ns_ = 0;
  // The stamps of the files a search met while the clock ran ahead: kept then
  // though young, kept while unchanged.
  std::set<PlainStamp> kept_ahead_;
  std::unique_ptr<InvoiceLocator> locator_;
  std::string history_;
  int names_ = 0;
};

}  // namespace quorbin::testing
