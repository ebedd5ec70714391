// The folder search for an invoice file over a synthetic NFC-e tree, against
// reading the same files' bytes (open, read, close) in the same process.
//
//   search_bench [files...]       for each size (20000 when none is given)
//                                 generates a tree of that many invoices,
//                                 measures it in fresh processes, removes it
//   search_bench --write DIR [files]  writes a tree (20000 files) into DIR, to
//                                 measure or profile it again and again
//   search_bench --tree DIR       measures the times over an existing drive C
//   search_bench --tree DIR --memory FILE
//                                 searches it as the agent does and writes the
//                                 process's peak resident size (MB) to FILE
//
// Prints, each measured in one run:
//   search_first_vs_read     the first search of a process over all four roots
//   search_repeated_vs_stamps  a repeated search over the unchanged tree against
//                            listing the roots and taking every file's stamp,
//                            the least a repeated search must do (medians, the
//                            two measured in turn)
//   search_stamps_only_vs_read  that floor against reading the bytes (median)
//   search_peak_rss_mb       peak resident memory of a process that makes a first
//                            and then repeated searches (and nothing else)
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

#include "figure.h"
#include "nfce_tree.h"
#include "support/activity_log.h"
#include "support/clock.h"
#include "support/event_pump.h"
#include "sync/invoice_location.h"
#include "sync/xml_file_list.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

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

// What any repeated search must do under the rule that a file's facts hold only
// while its stamp does: list the four roots and take the stamp of every file.
double StampsOnly(const fs::path& drive_c) {
  const auto start = Clock::now();
  for (const char* root : {"Validadas", "Contigencias", "Transmitidas", "Canceladas"}) {
    quorbin::ForEachXmlFile(drive_c / "Tavrellis" / "PDV" / "NFCe" / root,
                            [](const quorbin::platform::OpenFolder& folder, const std::string& name,
                               const std::string&) { folder.StampOfFile(name); });
  }
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

// The agent's search for a row whose direct file is missing: every pass searches
// all four roots for it.
class SearchSetup {
 public:
  explicit SearchSetup(const fs::path& drive_c)
      : log_file_(drive_c / "search_bench_log.txt"),
        log_((fs::remove(log_file_), log_file_), clock_),
        row_{.offline = 0,
             .cancelado = 0,
             .invoice_time = quorbin::DateTime::FromCivil({2023, 1, 5, 10, 0}),
             .chave_nfce = std::string("missing"),
             .nfce_num = 12345678,
             .NFCE_NUM = 12345678,
             .nfce_num_text = std::string("12345678")},
        locator_(log_, pump_, [] { return std::string("12345678000190"); }) {
    setenv("QUORBIN_DRIVE_C", drive_c.c_str(), 1);
  }
  ~SearchSetup() { fs::remove(log_file_); }

  double TimedSearch() {
    const auto start = Clock::now();
    std::string pass_emitter_cnpj;
    locator_.LocateInvoiceFile(row_, pass_emitter_cnpj);
    return Seconds(start);
  }

 private:
  fs::path log_file_;
  quorbin::SystemClock clock_;
  quorbin::ActivityLog log_;
  QuietPump pump_;
  quorbin::InvoiceRow row_;
  quorbin::InvoiceLocator locator_;
};

constexpr int kRepeatedSearches = 5;

int Measure(const fs::path& drive_c) {
  SearchSetup search(drive_c);
  std::vector<std::string> files = AllXmlFiles(drive_c);
  std::uintmax_t bytes = 0;
  ReadAll(files, &bytes);  // into the page cache, like a terminal's warm disk
  std::vector<double> reads;
  for (int i = 0; i < 3; ++i) reads.push_back(ReadAll(files, nullptr));

  const double first = search.TimedSearch();
  std::vector<double> repeated;
  std::vector<double> stamps_only;
  // The repeated search and its floor in turn, each first every other time, with
  // nothing in between: reading every file beside them would leave whichever
  // comes next with cold caches.
  for (int i = 0; i < kRepeatedSearches; ++i) {
    if (i % 2 == 0) repeated.push_back(search.TimedSearch());
    stamps_only.push_back(StampsOnly(drive_c));
    if (i % 2 == 1) repeated.push_back(search.TimedSearch());
  }
  for (int i = 0; i < 3; ++i) reads.push_back(ReadAll(files, nullptr));
  const double read = Median(reads);
  const double again = Median(repeated);
  char details[200];
  std::snprintf(details, sizeof details, "(search %.0f ms, read %.0f ms; %zu files, %.1f MB)",
                first * 1000, read * 1000, files.size(), bytes / 1e6);
  quorbin::bench::PrintFigure("search_first_vs_read", first / read, "<= 5", details);
  const double stamps = Median(stamps_only);
  std::snprintf(details, sizeof details,
                "(median search %.0f ms, listings and file stamps alone %.0f ms)", again * 1000,
                stamps * 1000);
  quorbin::bench::PrintFigure("search_repeated_vs_stamps", again / stamps, "<= 1.25", details);
  std::snprintf(details, sizeof details, "(median read %.0f ms)", read * 1000);
  quorbin::bench::PrintFigure("search_stamps_only_vs_read", stamps / read, "-", details);
  return 0;
}

// Only what the agent does: no list of the files, no reading beside the search.
int MeasureMemory(const fs::path& drive_c, const fs::path& out) {
  {
    SearchSetup search(drive_c);
    search.TimedSearch();
    for (int i = 0; i < kRepeatedSearches; ++i) search.TimedSearch();
  }
  std::ofstream(out) << PeakResidentMb() << "\n";
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

double ReadPeak(const fs::path& file) {
  std::ifstream in(file);
  double peak = 0;
  in >> peak;
  return peak;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 4 && std::string(argv[1]) == "--tree" && std::string(argv[3]) == "--memory") {
    return MeasureMemory(argv[2], argv[4]);
  }
  if (argc > 2 && std::string(argv[1]) == "--tree") return Measure(argv[2]);
  if (argc > 2 && std::string(argv[1]) == "--write") {
    quorbin::bench::NfceTreeOptions options;
    if (argc > 3) options.files = std::atoi(argv[3]);
    fs::create_directories(argv[2]);
    quorbin::bench::WriteNfceTree(argv[2], options);
    return 0;
  }
  std::vector<int> sizes;
  for (int i = 1; i < argc; ++i) sizes.push_back(std::atoi(argv[i]));
  if (sizes.empty()) sizes.push_back(20'000);
  int result = 0;
  for (const int files : sizes) {
    quorbin::bench::NfceTreeOptions options;
    options.files = files;
    const fs::path dir =
        fs::temp_directory_path() / ("quorbin-search-bench-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    quorbin::bench::WriteNfceTree(dir, options);
    // Files only just written are parsed every time (their times could still move
    // without a change showing); a terminal's files are older than that.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    std::printf("-- %d files\n", files);
    std::fflush(stdout);
    result |= Self({"--tree", dir.string()});
    const fs::path peak_file = dir / "peak.txt";
    result |= Self({"--tree", dir.string(), "--memory", peak_file.string()});
    quorbin::bench::PrintFigure("search_peak_rss_mb", ReadPeak(peak_file), "<= 16",
                                "(a process making one first and " +
                                    std::to_string(kRepeatedSearches) + " repeated searches)",
                                1);
    fs::remove_all(dir);
  }
  return result;
}
