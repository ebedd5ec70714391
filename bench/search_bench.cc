// The folder search for an invoice file over a synthetic NFC-e tree, against
// reading the same files' bytes (open, read, close) in the same process.
//
//   search_bench [files]          generates a tree of `files` invoices (20000),
//                                 measures it in a fresh process, removes it
//   search_bench --tree DIR       measures an existing drive C folder
//
// Prints, each measured in one run:
//   search_first_vs_read     the first search of a process over all four roots
//   search_repeated_vs_read  a repeated search over the unchanged tree (median)
//   search_peak_rss_mb       peak resident memory during the first and during the
//                            repeated searches
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "nfce_tree.h"
#include "support/activity_log.h"
#include "support/clock.h"
#include "support/event_pump.h"
#include "sync/fake_query.h"
#include "sync/invoice_location.h"
#include "sync/xml_file_list.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using quorbin::testing::FakeQuery;
using quorbin::testing::FakeRow;

class QuietPump final : public quorbin::EventPump {
 public:
  void RunPending() override {}
  void Sleep(int) override {}
};

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

double Median(std::vector<double> values) {
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

std::vector<std::string> AllXmlFiles(const fs::path& drive_c) {
  std::vector<std::string> files;
  for (const char* root : {"Validadas", "Contigencias", "Transmitidas", "Canceladas"}) {
    for (auto& file : quorbin::ListXmlFiles(drive_c / "Tavrellis" / "PDV" / "NFCe" / root)) {
      files.push_back(std::move(file));
    }
  }
  return files;
}

// Open, read whole, close: what any search must at least do with every file.
double ReadAll(const std::vector<std::string>& files, std::uintmax_t* bytes) {
  const auto start = Clock::now();
  std::uintmax_t total = 0;
  std::vector<char> buffer(1 << 16);
  for (const auto& file : files) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    for (ssize_t got; (got = read(fd, buffer.data(), buffer.size())) > 0;) total += got;
    close(fd);
  }
  if (bytes) *bytes = total;
  return Seconds(start);
}

// The process's peak resident size in MB since the last reset.
double PeakResidentMb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  }
  return 0;
}

void ResetPeakResident() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

int Measure(const fs::path& drive_c) {
  setenv("QUORBIN_DRIVE_C", drive_c.c_str(), 1);
  const fs::path log_file = drive_c / "search_bench_log.txt";
  fs::remove(log_file);
  quorbin::SystemClock clock;
  quorbin::ActivityLog log(log_file, clock);
  QuietPump pump;
  FakeQuery emitente("fbquery2",
                     {FakeRow{{"cnpj", quorbin::testing::TextValue("12345678000190")}}});
  // A row whose direct file is missing: every pass searches all four roots for it.
  FakeQuery row("fbquery", {FakeRow{{"offline", quorbin::testing::IntegerValue(0)},
                                    {"cancelado", quorbin::testing::IntegerValue(0)},
                                    {"data", quorbin::testing::DateValue(2023, 1, 5)},
                                    {"hora", quorbin::testing::TimeValue(10, 0)},
                                    {"chave_nfce", quorbin::testing::TextValue("missing")},
                                    {"NFCE_NUM", quorbin::testing::IntegerValue(12345678)}}});
  quorbin::InvoiceLocator locator(log, pump, emitente);

  std::vector<std::string> files = AllXmlFiles(drive_c);
  std::uintmax_t bytes = 0;
  ReadAll(files, &bytes);  // into the page cache, like a terminal's warm disk
  std::vector<double> reads;
  for (int i = 0; i < 3; ++i) reads.push_back(ReadAll(files, nullptr));

  ResetPeakResident();
  auto start = Clock::now();
  locator.LocateInvoiceFile(row);
  const double first = Seconds(start);
  const double first_peak = PeakResidentMb();

  ResetPeakResident();
  std::vector<double> repeated;
  for (int i = 0; i < 5; ++i) {
    start = Clock::now();
    locator.LocateInvoiceFile(row);
    repeated.push_back(Seconds(start));
    reads.push_back(ReadAll(files, nullptr));
  }
  const double repeated_peak = PeakResidentMb();
  const double read = Median(reads);
  const double again = Median(repeated);

  std::printf("search_first_vs_read %.2f  (search %.0f ms, read %.0f ms; %zu files, %.1f MB)\n",
              first / read, first * 1000, read * 1000, files.size(), bytes / 1e6);
  std::printf("search_repeated_vs_read %.2f  (median search %.0f ms, read %.0f ms)\n", again / read,
              again * 1000, read * 1000);
  std::printf("search_peak_rss_mb %.1f  (first search %.1f MB, repeated searches %.1f MB)\n",
              std::max(first_peak, repeated_peak), first_peak, repeated_peak);
  fs::remove(log_file);
  return 0;
}

int Self(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  std::string self = fs::read_symlink("/proc/self/exe").string();
  argv.push_back(self.data());
  std::vector<std::string> copies = arguments;
  for (auto& argument : copies) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return 1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--tree") return Measure(argv[2]);
  quorbin::bench::NfceTreeOptions options;
  if (argc > 1) options.files = std::atoi(argv[1]);
  const fs::path dir =
      fs::temp_directory_path() / ("quorbin-search-bench-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const auto tree = quorbin::bench::WriteNfceTree(dir, options);
  (void)tree;
  // Files only just written are parsed every time (their times could still move
  // without a change showing); a terminal's files are older than that.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  const int result = Self({"--tree", dir.string()});
  fs::remove_all(dir);
  return result;
}
