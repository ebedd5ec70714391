// InvoiceLocator: finds the NFC-e XML file of an invoice row of `cupom`.
//
// LocateInvoiceFile(row, pass_emitter_cnpj) returns the path of the file, or
// empty text when none was found:
//  - `offline` = 2: `chave_nfce` itself is the path; it is returned untested.
//  - otherwise the direct path "<folder>\<yyyymm>\<chave_nfce>-nfe.xml" below
//    C:\Tavrellis\PDV\NFCe: Contingencias when `offline` = 1, else Canceladas when
//    `cancelado` = 1, else Transmitidas; yyyymm is the month of the invoice time.
//    It is logged ("Caminho: ") and returned when a file (not a folder) is there.
//  - otherwise a search: the emitter's CNPJ is read again (by the reader the
//    locator was given: "select cnpj from emitente" on the secondary query, see
//    emitter_cnpj.h) into the pass's PassEmitterCnpj, reduced to its digits and
//    capital letters (support/cnpj.h), and the roots Validadas, Contigencias,
//    Transmitidas and Canceladas are searched in this order for a document of
//    that emitter whose cNF equals `NFCE_NUM`; a find in a later root replaces
//    one in an earlier root.
// A found path is logged ("Arquivo encontrado em: "). Fixed "C:\" paths are
// resolved to where this system keeps drive C; log lines show resolved paths.
// A failure to read the emitter, or of a column of the row that could not be
// read (invoice_row.h) where its value is used, leaves LocateInvoiceFile.
//
// FindInvoiceFile(folder, cnpj, number) searches one tree and handles each file's
// failure itself ("Pulando arquivo defeituoso...", "Erro ao pesquisar arquivos: ";
// a file the parser could not finish for want of memory is not called damaged).
// The last matching file in listing order wins. After every examined file the
// working set is trimmed (pending events run every time, memory is given back at
// most every 100 ms; see event_pump.h). What a search learned of a
// file is reused by later searches while the file is unchanged (see
// invoice_file_facts.h); the log lines, their order, the trims and the result are
// those of parsing every file again.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "support/activity_log.h"
#include "support/event_pump.h"
#include "sync/invoice_file_facts.h"
#include "sync/invoice_row.h"

namespace quorbin {

class InvoiceLocator {
 public:
  // Reads the emitter's CNPJ as the database holds it; run by every search.
  using EmitterCnpjReader = std::function<std::string()>;

  // `kept_once_still_ns`, `now`: see InvoiceFactsCache.
  InvoiceLocator(ActivityLog& log, EventPump& pump, EmitterCnpjReader read_emitter_cnpj,
                 std::int64_t kept_once_still_ns = kKeptOnceStillNs, FileTimeNow now = {});

  // `pass_emitter_cnpj` is the pass's PassEmitterCnpj: empty when the pass
  // starts, set by every search to the CNPJ it read.
  std::string LocateInvoiceFile(const InvoiceRow& row, std::string& pass_emitter_cnpj);
  std::string FindInvoiceFile(const std::filesystem::path& folder, std::string_view cnpj,
                              std::string_view number);

  // How many files the search's memory holds now.
  std::size_t remembered_files() const { return facts_.size(); }

 private:
  std::string Search(const InvoiceRow& row, std::string& pass_emitter_cnpj);

  ActivityLog& log_;
  EventPump& pump_;
  EmitterCnpjReader read_emitter_cnpj_;
  InvoiceFactsCache facts_;
};

// The path LocateInvoiceFile tries first for `row`, resolved: `chave_nfce` for
// `offline` = 2, else the direct path; nothing is logged or tested.
std::string DirectInvoicePath(const InvoiceRow& row);

// "%.8d" of the invoice number: 1234 gives 00001234.
std::string PaddedNumber(std::int32_t number);

}  // namespace quorbin
