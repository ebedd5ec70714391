// One hostile input tried by a reliability test, and what it cost: the time it
// took and how far the process's peak resident size grew while it ran (Linux:
// the peak is reset through /proc/self/clear_refs when the case starts).
//
// When the environment variable QUORBIN_RELIABILITY_RECORD names a file, every
// finished case appends one line to it, tab-separated: group, case name,
// "survived" or "failed", milliseconds, peak growth in KiB. scripts/reliability
// adds these lines up into its table, with the figures of RecordFigure.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace quorbin::testing {

class HostileCase {
 public:
  // Starts the clock and the memory measurement.
  HostileCase(std::string group, std::string name);

  std::chrono::milliseconds Elapsed() const;
  // Peak resident size since the start, less the resident size at the start.
  std::size_t PeakGrowthBytes() const;

  // Records the outcome; `survived` means the code under test ended the way the
  // case demands, within its time and memory bounds.
  void Finish(bool survived);

 private:
  std::string group_;
  std::string name_;
  std::chrono::steady_clock::time_point start_;
  std::size_t resident_at_start_ = 0;
};

// Records a figure of a reliability run (kills, rows lost) for scripts/reliability,
// as a line "figure", name, value; the figures of one name add up.
void RecordFigure(const std::string& name, long long value);

// The resident and peak resident sizes of this process, in bytes.
std::size_t ResidentBytes();
std::size_t PeakResidentBytes();

// True in a build with AddressSanitizer, whose shadow memory and quarantine of
// freed blocks make resident sizes say little about the code under test.
bool UnderAddressSanitizer();

}  // namespace quorbin::testing
