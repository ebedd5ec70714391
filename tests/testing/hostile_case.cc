#include "testing/hostile_case.h"

#include <cstdlib>
#include <fstream>
#include <string_view>

namespace quorbin::testing {
namespace {

// A "Vm...:   1234 kB" line of /proc/self/status, in bytes.
std::size_t StatusBytes(std::string_view key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.starts_with(key) && line.size() > key.size() && line[key.size()] == ':') {
      return std::strtoull(line.c_str() + key.size() + 1, nullptr, 10) * 1024;
    }
  }
  return 0;
}

// The record file named by QUORBIN_RELIABILITY_RECORD; empty when unset.
std::string RecordFile() {
  const char* record = std::getenv("QUORBIN_RELIABILITY_RECORD");
  return record ? record : "";
}

void ResetPeakResident() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

}  // namespace

std::size_t ResidentBytes() {
  return StatusBytes("VmRSS");
}

std::size_t PeakResidentBytes() {
  return StatusBytes("VmHWM");
}

bool UnderAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

HostileCase::HostileCase(std::string group, std::string name)
    : group_(std::move(group)), name_(std::move(name)) {
  ResetPeakResident();
  resident_at_start_ = ResidentBytes();
  start_ = std::chrono::steady_clock::now();
}

std::chrono::milliseconds HostileCase::Elapsed() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start_);
}

std::size_t HostileCase::PeakGrowthBytes() const {
  const std::size_t peak = PeakResidentBytes();
  return peak > resident_at_start_ ? peak - resident_at_start_ : 0;
}

void HostileCase::Finish(bool survived) {
  const std::string record = RecordFile();
  if (record.empty()) return;
  std::ofstream(record, std::ios::app)
      << group_ << '\t' << name_ << '\t' << (survived ? "survived" : "failed") << '\t'
      << Elapsed().count() << '\t' << PeakGrowthBytes() / 1024 << '\n';
}

void RecordFigure(const std::string& name, long long value) {
  const std::string record = RecordFile();
  if (record.empty()) return;
  std::ofstream(record, std::ios::app) << "figure\t" << name << '\t' << value << '\n';
}

}  // namespace quorbin::testing
