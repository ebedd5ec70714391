// InvoiceLocator: finds the NFC-e XML file of an invoice row of `cupom`.
//
// LocateInvoiceFile(row) returns the path of the file, or empty text when none
// was found:
//  - `offline` = 2: `chave_nfce` itself is the path; it is returned untested.
//  - otherwise the direct path "<folder>\<yyyymm>\<chave_nfce>-nfe.xml" below
//    C:\Tavrellis\PDV\NFCe: Contingencias when `offline` = 1, else Canceladas when
//    `cancelado` = 1, else Transmitidas; yyyymm is the month of the invoice time.
//    It is logged ("Caminho: ") and returned when a file (not a folder) is there.
//  - otherwise a search: the emitter's CNPJ is read again (statement
//    "select cnpj from emitente" on the secondary query) into PassEmitterCnpj,
//    reduced to its digits and capital letters (support/cnpj.h),
//    and the roots Validadas, Contigencias, Transmitidas and Canceladas are
//    searched in this order for a document of that emitter whose cNF equals
//    `NFCE_NUM`; a find in a later root replaces one in an earlier root.
// A found path is logged ("Arquivo encontrado em: "). Fixed "C:\" paths are
// resolved to where this system keeps drive C; log lines show resolved paths.
// A failure to read the row or the emitter leaves LocateInvoiceFile.
//
// FindInvoiceFile(folder, cnpj, number) searches one tree and handles each file's
// failure itself ("Pulando arquivo defeituoso...", "Erro ao pesquisar arquivos: ").
// The last matching file in listing order wins. After every examined file the
// working set is trimmed (pending events run every time, memory is given back at
// most every 100 ms; see event_pump.h). What a search learned of a
// file is reused by later searches while the file is unchanged (see
// invoice_file_facts.h); the log lines, their order, the trims and the result are
// those of parsing every file again.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "store/query.h"
#include "support/activity_log.h"
#include "support/event_pump.h"
#include "sync/invoice_file_facts.h"

namespace quorbin {

class InvoiceLocator {
 public:
  // `fbquery2` is the secondary query object, used for the emitter.
  InvoiceLocator(ActivityLog& log, EventPump& pump, Query& fbquery2);

  std::string LocateInvoiceFile(const Query& row);
  std::string FindInvoiceFile(const std::filesystem::path& folder, std::string_view cnpj,
                              std::string_view number);

  // The emitter's CNPJ digits read by the latest search of this pass; empty when
  // no search has run since StartPass.
  const std::string& PassEmitterCnpj() const { return pass_emitter_cnpj_; }
  void StartPass() { pass_emitter_cnpj_.clear(); }

 private:
  std::string Search(const Query& row);

  ActivityLog& log_;
  EventPump& pump_;
  Query& fbquery2_;
  std::string pass_emitter_cnpj_;
  InvoiceFactsCache facts_;
};

// The path LocateInvoiceFile tries first for `row`, resolved: `chave_nfce` for
// `offline` = 2, else the direct path; nothing is logged or tested.
std::string DirectInvoicePath(const Query& row);

// "%.8d" of the invoice number: 1234 gives 00001234.
std::string PaddedNumber(std::int32_t number);

}  // namespace quorbin
