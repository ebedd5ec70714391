#include "invoice_search_model.h"

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <system_error>
#include <thread>

#include "platform/drive_paths.h"
#include "support/integer_text.h"
#include "support/paths.h"

namespace quorbin::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kRoots[] = {"Validadas", "Contigencias", "Transmitidas", "Canceladas"};
constexpr const char* kRootLines[] = {"Procurando na Validadas...", "Contigencias...",
                                      "Transmitidas...", "Canceladas..."};
constexpr const char* kMonths[] = {"202301", "202302"};
constexpr const char* kEmitters[] = {"12345678000190", "98765432000155"};

fs::path ResolvedRoot(const char* root) {
  return PathFromUtf8(
      Utf8FromPath(platform::ResolveDrivePath(std::string("C:\\Tavrellis\\PDV\\NFCe\\") + root)));
}

// Of every character between the first <cNF> and its end, one of the same kind
// (digit, letter) chosen anew: the file keeps its size and its shape.
std::string SameSizeVariant(std::string bytes, const InvoiceSearchModel::Pick& pick) {
  const std::size_t start = bytes.find("<cNF>");
  if (start == std::string::npos) return bytes;
  for (std::size_t i = start + 5; i < bytes.size() && bytes[i] != '<'; ++i) {
    if (bytes[i] >= '0' && bytes[i] <= '9') bytes[i] = static_cast<char>('0' + pick(10));
    if (bytes[i] >= 'a' && bytes[i] <= 'z') bytes[i] = static_cast<char>('a' + pick(26));
  }
  return bytes;
}

std::string Padded(std::int32_t number) {
  char text[32];
  std::snprintf(text, sizeof text, "%.8d", number);
  return text;
}

// The stamps of every file a search meets now.
std::set<PlainStamp> StampsMet() {
  std::set<PlainStamp> met;
  for (const char* root : kRoots) {
    for (const std::string& path : PlainXmlFiles(ResolvedRoot(root))) {
      if (const auto stamp = PlainStampOf(PathFromUtf8(path))) met.insert(*stamp);
    }
  }
  return met;
}

// Drive C: a folder of the test's own on Linux, the real C:\ on Windows (whose
// Tavrellis folder the model empties before and after).
#ifdef _WIN32
fs::path DriveC(const TempDir&) {
  return "C:\\";
}
#else
fs::path DriveC(const TempDir& dir) {
  return dir / "drive_c";
}
#endif

}  // namespace

std::ostream& operator<<(std::ostream& out, const SearchOutcome& outcome) {
  out << "found \"" << outcome.found << "\", " << outcome.remembered
      << " files remembered, lines (each trim as a *):";
  std::size_t trim = 0;
  for (std::size_t line = 0; line <= outcome.lines.size(); ++line) {
    for (; trim < outcome.trims.size() && outcome.trims[trim] == line; ++trim) out << "\n  *";
    if (line < outcome.lines.size()) out << "\n  " << outcome.lines[line];
  }
  return out;
}

InvoiceSearchModel::InvoiceSearchModel(Pick pick)
    : pick_(std::move(pick)),
      nfce_(DriveC(dir_) / "Tavrellis" / "PDV" / "NFCe"),
      log_(dir_ / "log_sync.txt", clock_),
      pump_(dir_ / "log_sync.txt"),
      emitter_(kEmitters[0]) {
#ifdef _WIN32
  fs::remove_all(DriveC(dir_) / "Tavrellis");
#else
  setenv("QUORBIN_DRIVE_C", DriveC(dir_).c_str(), 1);
#endif
  for (const char* root : kRoots) {
    for (const char* month : kMonths) fs::create_directories(nfce_ / root / month);
  }
  locator_ = std::make_unique<InvoiceLocator>(
      log_, pump_, [this] { return emitter_; }, kKeptOnceStillNs, [this] { return now_ns_; });
  NextPeriod();
}

InvoiceSearchModel::~InvoiceSearchModel() {
#ifdef _WIN32
  std::error_code ignored;
  fs::remove_all(DriveC(dir_) / "Tavrellis", ignored);
#else
  unsetenv("QUORBIN_DRIVE_C");
#endif
}

// Writes the probe until its file time moves: the first time of the new period.
// A whole-second file system takes up to a second, one with finer times at once.
void InvoiceSearchModel::NextPeriod() {
  const fs::path probe = dir_ / "time-probe";
  WriteBytes(probe, "0");
  const std::int64_t before = PlainStampOf(probe)->latest_ns();
  std::int64_t after = before;
  for (int attempt = 0; after <= before; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    WriteBytes(probe, attempt % 2 ? "0" : "1");
    after = PlainStampOf(probe)->latest_ns();
  }
  if (time_step_ns_ == 0 || after - before < time_step_ns_) time_step_ns_ = after - before;
  period_start_ns_ = after;
  now_ns_ = period_start_ns_ + kKeptOnceStillNs - 1;
}

fs::path InvoiceSearchModel::Root(std::uint32_t index) const {
  return nfce_ / kRoots[index];
}

fs::path InvoiceSearchModel::AnyFolder() {
  return Root(pick_(4)) / kMonths[pick_(2)];
}

fs::path InvoiceSearchModel::NewName() {
  // Few names, so that a new file often takes the place of another.
  const std::uint32_t n = pick_(16);
  return AnyFolder() / ("f" + std::to_string(n) + (n % 5 == 0 ? ".XML" : ".xml"));
}

// An invoice of either emitter with a code of any form, or a file the search
// skips or fails on; a damaged file's failure line names its own marker.
std::string InvoiceSearchModel::AnyContent() {
  const std::string cnpj = kEmitters[pick_(2)];
  std::string cnf;
  switch (pick_(5)) {
    case 0:
      cnf = std::to_string(10'000'000 + pick_(90'000'000));
      break;
    case 1:
      cnf = "0000" + std::to_string(1000 + pick_(9000));
      break;
    case 2:
      cnf = std::to_string(1000 + pick_(9000));
      break;
    case 3:
      cnf = "12a4";
      break;
    default:
      cnf = numbers_.empty() ? "1" : std::to_string(numbers_[pick_(numbers_.size())]);
  }
  if (const auto number = TryParseInteger(cnf)) numbers_.push_back(*number);
  std::string marker;
  for (int i = 0; i < 8; ++i) marker += static_cast<char>('a' + pick_(26));
  switch (pick_(8)) {
    case 0:
    case 1:
      return WrappedInvoice(cnpj, cnf);
    case 2:
      return BareInvoice(cnpj, cnf);
    case 3:
      return "<NFe>\n<cNF>" + marker + "</cNF></y>\n</NFe>\n";
    case 4:
      return "<root><cNF>" + cnf + "</cNF></root>";
    case 5:
      return "<NFe><cNF>" + cnf + "</cNF></NFe>";  // an NFe without infNFe fails
    case 6:
      return "<NFe><infNFe><emit><CNPJ>" + cnpj + "</CNPJ></emit><cNF>" + cnf +
             "</cNF></infNFe></NFe>";  // without ide: passed over
    default:
      return "<NFe><infNFe><ide><cNF>" + cnf + "</cNF></ide></infNFe></NFe>";  // emit missing
  }
}

// The next search looks for the code of a file just written, half the time.
void InvoiceSearchModel::Hint(const std::string& bytes) {
  const std::size_t start = bytes.find("<cNF>");
  if (start == std::string::npos) return;
  const std::size_t end = bytes.find('<', start + 5);
  hint_ = TryParseInteger(std::string_view(bytes).substr(start + 5, end - start - 5));
}

// Everything below the roots (links are not followed): files and links, and
// with `files_only` just the regular files, sorted.
std::vector<fs::path> InvoiceSearchModel::Entries(bool files_only) const {
  std::vector<fs::path> entries;
  for (const auto& entry : fs::recursive_directory_iterator(nfce_)) {
    const bool file = entry.is_regular_file() && !entry.is_symlink();
    if (file || (!files_only && entry.is_symlink())) entries.push_back(entry.path());
  }
  // In the order of their names, not the file system's: a seed then picks the
  // same entries on any file system.
  std::sort(entries.begin(), entries.end());
  return entries;
}

InvoiceRow InvoiceSearchModel::Row() const {
  return ReadableInvoiceRow(0, 0, DateTime::FromCivil({2023, 1, 5, 10, 0}), "missing", number_);
}

std::string InvoiceSearchModel::Change() {
  std::string change = DoChange();
  emitter_ = kEmitters[pick_(8) == 0 ? 1 : 0];
  if (hint_ && pick_(2) == 0) {
    number_ = *hint_;
  } else {
    number_ = numbers_.empty() || pick_(5) == 0 ? static_cast<std::int32_t>(pick_(100'000'000))
                                                : numbers_[pick_(numbers_.size())];
  }
  hint_.reset();
  change += "; search " + emitter_ + " " + std::to_string(number_);
  history_ += change + "\n";
  return change;
}

std::string InvoiceSearchModel::DoChange() {
  const std::vector<fs::path> files = Entries(true);
  const std::vector<fs::path> entries = Entries(false);
  const std::uint32_t kind = pick_(15);
  std::error_code failed;  // a change that cannot be made (a name taken) is skipped
#ifdef _WIN32
  const bool links = false;  // Wine makes no symbolic links
#else
  const bool links = true;
#endif
  if (kind <= 1 || kind == 10 || kind == 11 || (!links && (kind == 7 || kind == 8)) ||
      files.empty()) {
    const fs::path path = NewName();
    fs::remove(path, failed);
    WriteBytes(path, AnyContent());
    return "write " + path.string();
  }
  const fs::path file = files[pick_(files.size())];
  const fs::path entry = entries[pick_(entries.size())];
  switch (kind) {
    case 2: {
      const std::string bytes = AnyContent();
      WriteBytes(file, bytes);
      Hint(bytes);
      return "rewrite " + file.string();
    }
    case 3: {
      const std::string bytes = SameSizeVariant(ReadBytes(file), pick_);
      WriteBytes(file, bytes);
      Hint(bytes);
      return "rewrite with the same size " + file.string();
    }
    case 4:
      fs::remove(entry, failed);
      return "remove " + entry.string();
    case 5: {
      const fs::path to = NewName();
      fs::rename(entry, to, failed);
      return "rename " + entry.string() + " to " + to.string();
    }
    case 6: {
      const fs::path to = NewName();
      fs::create_hard_link(file, to, failed);
      return "hard link " + to.string() + " to " + file.string();
    }
    case 7: {
      const fs::path to = NewName();
      fs::create_symlink(file, to, failed);
      return "link " + to.string() + " to " + file.string();
    }
    case 8: {
      // A month folder reached from a second root too.
      const fs::path folder = AnyFolder();
      const fs::path to = Root(pick_(4)) / ("linked" + std::to_string(++names_));
      fs::create_directory_symlink(folder, to, failed);
      return "link folder " + to.string() + " to " + folder.string();
    }
    case 9:
      NextPeriod();
      return "time passes";
    case 12:
    case 13:
      return RewriteWithTimesPutBack(file);
    default:  // 14
      return RewriteWhileTheClockRunsAhead(file);
  }
}

// As `cp -p`, `touch -r` or `rsync -t --inplace` leave it: other bytes of the same
// size, the modification time as it was; only the change time tells.
std::string InvoiceSearchModel::RewriteWithTimesPutBack(const fs::path& file) {
  std::error_code failed;
  const auto modified = fs::last_write_time(file, failed);
  const std::string bytes = SameSizeVariant(ReadBytes(file), pick_);
  WriteBytes(file, bytes);
  if (!failed) fs::last_write_time(file, modified, failed);
  Hint(bytes);
  return "rewrite with the same size, times put back " + file.string();
}

// The clock runs ahead of the file system's (a terminal's clock set forward): a
// search trusts every file it meets, the file just written too, which is then
// rewritten with another size at once. Where the file system's step is coarse
// the second write often keeps both times of the first, and only the size tells
// the versions apart. A new period follows, so that nothing later shares a file
// time with what was trusted.
std::string InvoiceSearchModel::RewriteWhileTheClockRunsAhead(const fs::path& file) {
  NextPeriod();
  const std::string first = AnyContent();
  WriteBytes(file, first);
  const PlainStamp written = *PlainStampOf(file);
  now_ns_ = written.latest_ns() + kKeptOnceStillNs;
  AgentSearch();
  kept_ahead_ = StampsMet();
  std::string second = AnyContent();
  if (second.size() == first.size()) second += "\n";
  WriteBytes(file, second);
  const PlainStamp rewritten = *PlainStampOf(file);
  const bool same_times =
      rewritten.modified_ns == written.modified_ns && rewritten.changed_ns == written.changed_ns;
  NextPeriod();
  Hint(second);
  return "rewrite with another size at once while the clock runs ahead " + file.string() +
         (same_times ? " (times unchanged)" : " (times moved)");
}

SearchOutcome InvoiceSearchModel::AgentSearch() {
  fs::remove(dir_ / "log_sync.txt");
  pump_.trims.clear();
  std::string pass_emitter_cnpj;
  SearchOutcome outcome;
  outcome.found = locator_->LocateInvoiceFile(Row(), pass_emitter_cnpj);
  outcome.lines = LogMessages(dir_ / "log_sync.txt");
  outcome.trims = pump_.trims;
  outcome.remembered = locator_->remembered_files();
  return outcome;
}

// The search as its rules say, file by file, with nothing remembered; and what
// the memory must hold after it: one entry per stamp met, for the files still
// for the stillness age by the model's clock and those trusted while the clock
// ran ahead and unchanged since.
SearchOutcome InvoiceSearchModel::PlainSearch() {
  using Shape = PlainFileFacts::Shape;
  const std::string number = Padded(number_);
  SearchOutcome outcome;
  outcome.lines = {
      "Caminho: " + DirectInvoicePath(Row()),
      "Nota não encontrada, tentando procurar pelas pastas... " + emitter_ + ". " + number};
  std::set<PlainStamp> met;
  for (int root = 0; root < 4; ++root) {
    outcome.lines.push_back(kRootLines[root]);
    for (const std::string& path : PlainXmlFiles(ResolvedRoot(kRoots[root]))) {
      const auto stamp = PlainStampOf(PathFromUtf8(path));
      if (!stamp) continue;
      met.insert(*stamp);
      const PlainFileFacts facts = PlainFacts(ReadBytes(PathFromUtf8(path)));
      switch (facts.shape) {
        case Shape::kNotLoaded:
          outcome.lines.push_back("Pulando arquivo defeituoso..." + facts.failure + ":" + path);
          continue;
        case Shape::kNotInvoice:
          continue;
        case Shape::kFailed:
          outcome.lines.push_back("Erro ao pesquisar arquivos: " + facts.failure);
          continue;
        case Shape::kWithoutIde:
          break;
        case Shape::kComparable:
          try {
            if (facts.cnpj == emitter_ && ParseInteger(number) == ParseInteger(facts.cnf)) {
              outcome.found = path;
            }
          } catch (const std::exception& failure) {
            outcome.lines.push_back(std::string("Erro ao pesquisar arquivos: ") + failure.what());
            continue;
          }
          break;
      }
      outcome.trims.push_back(outcome.lines.size());
    }
  }
  if (!outcome.found.empty()) outcome.lines.push_back("Arquivo encontrado em: " + outcome.found);
  std::set<PlainStamp> still_kept_ahead;
  for (const PlainStamp& stamp : met) {
    const bool still = stamp.changed_ns != 0 && now_ns_ - stamp.latest_ns() >= kKeptOnceStillNs;
    if (still || kept_ahead_.count(stamp)) ++outcome.remembered;
    if (kept_ahead_.count(stamp)) still_kept_ahead.insert(stamp);
  }
  kept_ahead_ = std::move(still_kept_ahead);
  return outcome;
}

}  // namespace quorbin::testing
