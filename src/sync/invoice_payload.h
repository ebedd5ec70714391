// The request body of one invoice upload: a JSON object without white space,
// {"xml":"X","emitente":"E","data":"D","nf_id":"I"}, where
//   X is the file's text (ReadInvoiceText), percent-encoded (PercentEncode),
//   E is the emitter CNPJ held by the pass (digits, or empty),
//   D is the invoice time of the row in ISO 8601 local time (FormatIso8601Local),
//   I is the `Id` of the invoice element (nfeProc/NFe/infNFe, else NFe/infNFe).
// X, E and D need no JSON escaping by construction. I is taken from the document;
// the few characters that JSON cannot hold in a string as they are (quotation
// mark, backslash, control characters) are escaped, so an odd Id cannot change the
// object's shape. The result is UTF-8.
//
// Building writes nothing to the log and changes nothing; every failure (file
// unreadable or not well-formed, no Id, a lone surrogate, an invoice time that
// does not exist locally) is raised to the caller.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "sync/invoice_row.h"

namespace quorbin {

// The invoice time comes from `row` (its columns are used only after the file
// loaded and gave its Id); E is `pass_emitter_cnpj`.
std::string BuildInvoicePayload(const InvoiceRow& row, const std::filesystem::path& path,
                                std::string_view pass_emitter_cnpj);

// The file's text (a regular file of at most kMaxXmlFileBytes, else it fails
// unread): decoded by its byte-order mark (UTF-8, UTF-16 LE or BE), else
// one character per byte of the ANSI code page; cut at the first NUL; every line
// (ended by CR LF, a lone CR or a lone LF) followed by CR LF. UTF-8.
std::string ReadInvoiceText(const std::filesystem::path& path);
// The same text made of bytes already read.
std::string InvoiceTextOf(std::string_view bytes);
// PercentEncode(InvoiceTextOf(bytes)), in one pass when the bytes are plain ASCII.
std::string EncodedInvoiceText(std::string_view bytes);

}  // namespace quorbin
