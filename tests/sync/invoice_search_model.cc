#include "invoice_search_model.h"

#include <stdlib.h>

#include <chrono>
#include <exception>
#include <system_error>
#include <thread>

#include "platform/drive_paths.h"
#include "platform/folder_listing.h"
#include "support/integer_text.h"
#include "support/paths.h"
#include "sync/nfce_document.h"
#include "sync/xml_document.h"
#include "sync/xml_file_list.h"
#include "sync_fixture.h"

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

}  // namespace

std::ostream& operator<<(std::ostream& out, const SearchOutcome& outcome) {
  out << "found \"" << outcome.found << "\", " << outcome.trims << " trims, lines:";
  for (const std::string& line : outcome.lines) out << "\n  " << line;
  return out;
}

InvoiceSearchModel::InvoiceSearchModel(Pick pick)
    : pick_(std::move(pick)),
      nfce_(dir_ / "drive_c" / "Tavrellis" / "PDV" / "NFCe"),
      log_(dir_ / "log_sync.txt", clock_),
      emitter_(kEmitters[0]) {
  for (const char* root : kRoots) {
    for (const char* month : kMonths) fs::create_directories(nfce_ / root / month);
  }
  setenv("QUORBIN_DRIVE_C", (dir_ / "drive_c").c_str(), 1);
  locator_ = std::make_unique<InvoiceLocator>(
      log_, pump_, [this] { return emitter_; }, std::int64_t{kModelStillMs} * 1'000'000);
}

InvoiceSearchModel::~InvoiceSearchModel() {
  unsetenv("QUORBIN_DRIVE_C");
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

// Everything below the roots (links are not followed): files and links, and
// with `files_only` just the regular files.
std::vector<fs::path> InvoiceSearchModel::Entries(bool files_only) const {
  std::vector<fs::path> entries;
  for (const auto& entry : fs::recursive_directory_iterator(nfce_)) {
    const bool file = entry.is_regular_file() && !entry.is_symlink();
    if (file || (!files_only && entry.is_symlink())) entries.push_back(entry.path());
  }
  return entries;
}

InvoiceRow InvoiceSearchModel::Row() const {
  return ReadableInvoiceRow(0, 0, DateTime::FromCivil({2023, 1, 5, 10, 0}), "missing", number_);
}

std::string InvoiceSearchModel::Change() {
  std::string change = DoChange();
  emitter_ = kEmitters[pick_(8) == 0 ? 1 : 0];
  number_ = numbers_.empty() || pick_(5) == 0 ? static_cast<std::int32_t>(pick_(100'000'000))
                                              : numbers_[pick_(numbers_.size())];
  change += "; search " + emitter_ + " " + std::to_string(number_);
  history_ += change + "\n";
  return change;
}

std::string InvoiceSearchModel::DoChange() {
  const std::vector<fs::path> files = Entries(true);
  const std::vector<fs::path> entries = Entries(false);
  const std::uint32_t kind = pick_(12);
  std::error_code failed;  // a change that cannot be made (a name taken) is skipped
  if (kind <= 1 || kind >= 10 || files.empty()) {
    const fs::path path = NewName();
    fs::remove(path, failed);
    WriteBytes(path, AnyContent());
    return "write " + path.string();
  }
  const fs::path file = files[pick_(files.size())];
  const fs::path entry = entries[pick_(entries.size())];
  switch (kind) {
    case 2:
      WriteBytes(file, AnyContent());
      return "rewrite " + file.string();
    case 3:
      WriteBytes(file, SameSizeVariant(ReadBytes(file), pick_));
      return "rewrite with the same size " + file.string();
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
    default:  // 9
      std::this_thread::sleep_for(std::chrono::milliseconds(kModelStillMs + 10));
      return "time passes";
  }
}

SearchOutcome InvoiceSearchModel::AgentSearch() {
  fs::remove(dir_ / "log_sync.txt");
  pump_.trims = 0;
  std::string pass_emitter_cnpj;
  SearchOutcome outcome;
  outcome.found = locator_->LocateInvoiceFile(Row(), pass_emitter_cnpj);
  outcome.lines = LogMessages(dir_ / "log_sync.txt");
  outcome.trims = pump_.trims;
  return outcome;
}

// The search as its rules say, file by file, with nothing remembered.
SearchOutcome InvoiceSearchModel::FreshSearch() const {
  const InvoiceRow row = Row();
  const std::string number = PaddedNumber(number_);
  SearchOutcome outcome;
  outcome.lines = {
      "Caminho: " + DirectInvoicePath(row),
      "Nota não encontrada, tentando procurar pelas pastas... " + emitter_ + ". " + number};
  for (int root = 0; root < 4; ++root) {
    outcome.lines.push_back(kRootLines[root]);
    for (const std::string& path : ListXmlFiles(ResolvedRoot(kRoots[root]))) {
      if (!platform::StampOfFile(PathFromUtf8(path))) continue;
      try {
        XmlDocument document;
        try {
          document = XmlDocument::Load(PathFromUtf8(path), nullptr);
        } catch (const XmlLoadFailure& failure) {
          outcome.lines.push_back("Pulando arquivo defeituoso..." + std::string(failure.what()) +
                                  ":" + path);
          continue;
        }
        const XmlNode invoice = SearchedInvoiceElement(document);
        if (!invoice.Exists()) continue;
        if (invoice.Child("ide").Exists()) {
          const std::string cnpj = invoice.Child("emit").Child("CNPJ").Text();
          const std::string cnf = invoice.Child("ide").Child("cNF").Text();
          if (cnpj == emitter_ && ParseInteger(number) == ParseInteger(cnf)) outcome.found = path;
        }
        ++outcome.trims;
      } catch (const std::exception& failure) {
        outcome.lines.push_back(std::string("Erro ao pesquisar arquivos: ") + failure.what());
      }
    }
  }
  if (!outcome.found.empty()) outcome.lines.push_back("Arquivo encontrado em: " + outcome.found);
  return outcome;
}

}  // namespace quorbin::testing
