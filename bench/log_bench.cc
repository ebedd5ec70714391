// The cost of one activity-log line on a 200 MB log against one on an empty log,
// measured in the same process, interleaved so that the machine's noise falls on
// both alike. Prints "log_line_200mb_vs_empty <ratio>" and the two medians.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "figure.h"
#include "support/activity_log.h"

namespace {

using quorbin::ActivityLog;
using Clock = std::chrono::steady_clock;

void WriteBigLog(const std::filesystem::path& file, std::uintmax_t bytes) {
  const std::string line =
      "[09/12/2026 14:03:27] : Nota numero 123456 enviada. Arquivo "
      "C:\\Tavrellis\\PDV\\NFCe\\XML\\202612\\35261212345678000199650010001234561000123456-nfe."
      "xml\r\n";
  std::string block;
  while (block.size() < (1 << 20)) block += line;
  std::ofstream out(file, std::ios::binary);
  for (std::uintmax_t written = 0; written < bytes; written += block.size()) out << block;
}

double Median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

double TimeOneLine(ActivityLog& log) {
  const auto start = Clock::now();
  log.WriteLog("Nota numero 123456 enviada.");
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
  const auto dir = std::filesystem::temp_directory_path() / "quorbin-log-bench";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  WriteBigLog(dir / "big.txt", 200ull << 20);

  quorbin::SystemClock clock;
  ActivityLog empty_log(dir / "empty.txt", clock);
  ActivityLog big_log(dir / "big.txt", clock);
  // The first line of a process checks the existing file once; not part of the
  // per-line cost.
  const double first_big = TimeOneLine(big_log);
  TimeOneLine(empty_log);

  std::vector<double> empty_times;
  std::vector<double> big_times;
  for (int i = 0; i < rounds; ++i) {
    empty_times.push_back(TimeOneLine(empty_log));
    big_times.push_back(TimeOneLine(big_log));
  }
  const double empty_median = Median(empty_times);
  const double big_median = Median(big_times);
  char details[160];
  std::snprintf(details, sizeof details,
                "(median %.1f us vs %.1f us; first line on 200 MB: %.0f ms)", big_median,
                empty_median, first_big / 1000);
  quorbin::bench::PrintFigure("log_line_200mb_vs_empty", big_median / empty_median, "<= 1.5",
                              details);
  std::filesystem::remove_all(dir);
  return 0;
}
