#include "sync/invoice_payload.h"

#include <algorithm>

#include "support/failure.h"
#include "support/json_string_content.h"
#include "support/line_file.h"
#include "sync/iso8601_local.h"
#include "sync/nfce_document.h"
#include "sync/percent_encoding.h"
#include "sync/xml_document.h"

namespace quorbin {
std::string InvoiceTextOf(std::string_view bytes) {
  return CrLfLines(DecodeText(bytes));
}

std::string EncodedInvoiceText(std::string_view bytes) {
  // Plain ASCII without NUL is its own text: the breaks and the encoding are done
  // in one pass. Anything else takes the steps one by one.
  const bool plain = std::all_of(bytes.begin(), bytes.end(), [](char c) {
    return c > 0 && static_cast<unsigned char>(c) < 0x80;
  });
  return plain ? PercentEncodeAsciiLines(bytes) : PercentEncode(InvoiceTextOf(bytes));
}

std::string ReadInvoiceText(const std::filesystem::path& path) {
  return InvoiceTextOf(ReadRegularFileBytes(path, kMaxXmlFileBytes));
}

std::string BuildInvoicePayload(const InvoiceRow& row, const std::filesystem::path& path,
                                std::string_view pass_emitter_cnpj) {
  // Read once: the Id and the text come from the same bytes, and a file that
  // cannot be read fails as loading the document does.
  std::string bytes;
  try {
    bytes = ReadRegularFileBytes(path, kMaxXmlFileBytes);
  } catch (const Failure& failure) {
    throw XmlLoadFailure(LoadFailureMessage(failure.what(), 0, {}));
  }
  const std::string id = InvoiceId(XmlDocument::Parse(bytes, &kInvoiceIdPruning));
  const std::string xml = EncodedInvoiceText(bytes);
  bytes = std::string();
  const std::string date = FormatIso8601Local(row.invoice_time.value());

  std::string payload;
  payload.reserve(xml.size() + 128);
  payload += "{\"xml\":\"";
  payload += xml;
  payload += "\",";
  payload += "\"emitente\":\"";
  payload += pass_emitter_cnpj;
  payload += "\",";
  payload += "\"data\":\"";
  payload += date;
  payload += "\",";
  payload += "\"nf_id\":\"";
  payload += JsonStringContent(id, ControlEscapes::kUnicodeOnly);
  payload += "\"";
  payload += "}";
  return payload;
}

}  // namespace quorbin
