// A model of the folder search for the tests that hold the search's memory of
// files to the plain computation: a small NFC-e tree on a drive C of its own,
// changed at random, searched by the agent's locator (which keeps what it
// learned from search to search) and by a plain search that loads every file
// afresh by its path, as a whole document, and applies the search's rules.
//
// Every random choice comes from `pick`, so the same choices give the same
// steps: a random engine drives it in the unit test, the fuzzer's bytes in the
// fuzz target. Files are remembered once still for kModelStillMs; a change named
// "time passes" waits that long.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "support/activity_log.h"
#include "support/event_pump.h"
#include "sync/invoice_location.h"
#include "testing/manual_clock.h"
#include "testing/temp_dir.h"

namespace quorbin::testing {

inline constexpr int kModelStillMs = 30;

// What one search shows: the path it returns, the log lines it writes (from
// "Caminho: " on) and how often it trimmed the working set.
struct SearchOutcome {
  std::string found;
  std::vector<std::string> lines;
  std::size_t trims = 0;

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
  SearchOutcome FreshSearch() const;

  // Every change so far, one per line.
  const std::string& History() const { return history_; }

 private:
  class CountingPump final : public EventPump {
   public:
    void RunPending() override { ++trims; }
    void Sleep(int) override {}
    std::size_t trims = 0;
  };

  std::filesystem::path Root(std::uint32_t index) const;
  std::filesystem::path AnyFolder();
  std::filesystem::path NewName();
  std::string AnyContent();
  std::vector<std::filesystem::path> Entries(bool files_only) const;
  InvoiceRow Row() const;
  std::string DoChange();

  Pick pick_;
  TempDir dir_;
  std::filesystem::path nfce_;
  ManualClock clock_;
  ActivityLog log_;
  CountingPump pump_;
  std::string emitter_;
  std::int32_t number_ = 0;
  std::vector<std::int32_t> numbers_;  // every cNF written so far
  std::unique_ptr<InvoiceLocator> locator_;
  std::string history_;
  int names_ = 0;
};

}  // namespace quorbin::testing
