#include "sync/invoice_location.h"

#include <cstdio>
#include <exception>
#include <optional>

#include "platform/drive_paths.h"
#include "platform/folder_listing.h"
#include "support/cnpj.h"
#include "support/failure.h"
#include "support/integer_text.h"
#include "support/paths.h"
#include "sync/xml_file_list.h"

namespace quorbin {
namespace {

constexpr std::string_view kTransmitted = "C:\\Tavrellis\\PDV\\NFCe\\Transmitidas\\";
constexpr std::string_view kCancelled = "C:\\Tavrellis\\PDV\\NFCe\\Canceladas\\";
constexpr std::string_view kContingency = "C:\\Tavrellis\\PDV\\NFCe\\Contingencias\\";

struct SearchRoot {
  std::string_view log_line;
  std::string_view folder;
};
constexpr SearchRoot kSearchRoots[] = {
    {"Procurando na Validadas...", "C:\\Tavrellis\\PDV\\NFCe\\Validadas"},
    {"Contigencias...", "C:\\Tavrellis\\PDV\\NFCe\\Contigencias"},
    {"Transmitidas...", "C:\\Tavrellis\\PDV\\NFCe\\Transmitidas"},
    {"Canceladas...", "C:\\Tavrellis\\PDV\\NFCe\\Canceladas"},
};

std::string MonthFolder(DateTime moment) {
  const CivilTime civil = moment.ToCivil();
  char text[32];
  std::snprintf(text, sizeof text, "%.4d%.2d", civil.year, civil.month);
  return text;
}

std::string Resolved(std::string_view windows_path) {
  return Utf8FromPath(platform::ResolveDrivePath(windows_path));
}

bool FileExists(const std::string& path) {
  return platform::StampOfFile(PathFromUtf8(path)).has_value();
}

}  // namespace

std::string PaddedNumber(std::int32_t number) {
  char text[32];
  std::snprintf(text, sizeof text, "%.8d", number);
  return text;
}

InvoiceLocator::InvoiceLocator(ActivityLog& log, EventPump& pump,
                               EmitterCnpjReader read_emitter_cnpj, std::int64_t kept_once_still_ns,
                               FileTimeNow now)
    : log_(log),
      pump_(pump),
      read_emitter_cnpj_(std::move(read_emitter_cnpj)),
      facts_(kept_once_still_ns, std::move(now)) {}

std::string DirectInvoicePath(const InvoiceRow& row) {
  const std::int32_t offline = row.offline.value();
  if (offline == 2) return Resolved(row.chave_nfce.value());
  const std::int32_t cancelado = row.cancelado.value();
  const std::string month = MonthFolder(row.invoice_time.value());
  const std::string& key = row.chave_nfce.value();
  std::string_view folder = cancelado == 1 ? kCancelled : kTransmitted;
  if (offline == 1) folder = kContingency;
  return Resolved(std::string(folder) + month + "\\" + key + "-nfe.xml");
}

std::string InvoiceLocator::LocateInvoiceFile(const InvoiceRow& row,
                                              std::string& pass_emitter_cnpj) {
  std::string path = DirectInvoicePath(row);
  if (row.offline.value() != 2) {
    log_.WriteLog("Caminho: " + path);
    if (!FileExists(path)) path = Search(row, pass_emitter_cnpj);
  }
  if (!path.empty()) log_.WriteLog("Arquivo encontrado em: " + path);
  return path;
}

std::string InvoiceLocator::Search(const InvoiceRow& row, std::string& pass_emitter_cnpj) {
  pass_emitter_cnpj = CnpjCharacters(read_emitter_cnpj_());
  const std::string number = PaddedNumber(row.NFCE_NUM.value());
  log_.WriteLog("Nota não encontrada, tentando procurar pelas pastas... " + pass_emitter_cnpj +
                ". " + number);
  std::string path;
  facts_.BeginSearch();
  for (const SearchRoot& root : kSearchRoots) {
    log_.WriteLog(root.log_line);
    std::string found =
        FindInvoiceFile(PathFromUtf8(Resolved(root.folder)), pass_emitter_cnpj, number);
    if (!found.empty()) path = std::move(found);
  }
  facts_.EndSearch();
  return path;
}

std::string InvoiceLocator::FindInvoiceFile(const std::filesystem::path& folder,
                                            std::string_view cnpj, std::string_view number) {
  using Shape = InvoiceFileFacts::Shape;
  std::string result;
  // The number is the same for every file: parsed once (a number that is not one
  // still fails at each file, as it would be parsed there).
  const std::optional<std::int32_t> wanted = TryParseInteger(number);
  ForEachXmlFile(folder, [&](const platform::OpenFolder& open_folder, const std::string& name,
                             const std::string& path) {
    try {
      const auto stamp = open_folder.StampOfFile(name);
      if (!stamp) return;
      const InvoiceFileFacts& facts = facts_.Examine(open_folder, name, *stamp);
      switch (facts.shape) {
        case Shape::kNotLoaded:
          log_.WriteLog("Pulando arquivo defeituoso..." + facts.failure + ":" + path);
          return;
        case Shape::kNotInvoice:
          return;
        case Shape::kFailed:
          throw Failure(facts.failure);
        case Shape::kWithoutIde:
          break;
        case Shape::kComparable:
          if (facts.cnpj == cnpj &&
              (wanted ? *wanted : ParseInteger(number)) == ParseInteger(facts.cnf)) {
            result = path;
          }
          break;
      }
      TrimWorkingSet(pump_);
    } catch (const std::exception& failure) {
      log_.WriteLog(std::string("Erro ao pesquisar arquivos: ") + failure.what());
    }
  });
  return result;
}

}  // namespace quorbin
