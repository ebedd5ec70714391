// A file in the NFC-e tree as any bytes, read by the XML rules the way a folder
// search and the invoice payload read it. Checks that loading ends in a document
// or an XmlLoadFailure whose message has its fixed shape; that the part of a
// document a search keeps, parsed into reused memory (as a search parses file
// after file), gives the same facts as a fresh whole document; and that every
// text read out of a document is UTF-8; and that a document the plain reader
// takes gives libxml2's nodes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "support/code_page.h"
#include "sync/invoice_file_facts.h"
#include "sync/nfce_document.h"
#include "sync/plain_xml_reader.h"
#include "sync/xml_document.h"

namespace {

void RequireUtf8(std::string_view text) {
  for (std::size_t pos = 0; pos < text.size();) {
    const std::size_t start = pos;
    if (quorbin::NextCodePoint(text, pos) == 0xFFFD && text.substr(start, 3) != "\xEF\xBF\xBD") {
      std::abort();
    }
  }
}

// "reason CR LF Line: N CR LF quote", the quote at most 40 characters.
void RequireLoadFailureShape(std::string_view message) {
  const std::size_t line = message.find("\r\nLine: ");
  if (line == std::string_view::npos) std::abort();
  const std::size_t quote = message.find("\r\n", line + 8);
  if (quote == std::string_view::npos) std::abort();
  std::string_view rest = message.substr(quote + 2);
  std::size_t characters = 0;
  for (std::size_t pos = 0; pos < rest.size(); ++characters) quorbin::NextCodePoint(rest, pos);
  if (characters > 40) std::abort();
}

bool SameFacts(const quorbin::InvoiceFileFacts& a, const quorbin::InvoiceFileFacts& b) {
  return a.shape == b.shape && a.failure == b.failure && a.cnpj == b.cnpj && a.cnf == b.cnf;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // A document the plain reader takes is one libxml2 takes, with the same nodes.
  {
    quorbin::XmlDocument plain;
    quorbin::XmlTreeBuilder plain_builder(plain);
    if (quorbin::ReadPlainXml(bytes, plain_builder)) {
      quorbin::XmlDocument reference;
      quorbin::XmlTreeBuilder reference_builder(reference);
      if (quorbin::ParseXmlWithLibxml2(bytes, reference_builder)) std::abort();
      if (!(plain == reference)) std::abort();
    }
  }

  // The search's way: one document whose memory goes from input to input.
  static quorbin::XmlDocument reused;
  const quorbin::InvoiceFileFacts facts = quorbin::ExamineInvoiceBytes(bytes, reused);
  quorbin::XmlDocument fresh;
  if (!SameFacts(facts, quorbin::ExamineInvoiceBytes(bytes, fresh, nullptr))) std::abort();
  RequireUtf8(facts.cnpj);
  RequireUtf8(facts.cnf);
  if (facts.shape == quorbin::InvoiceFileFacts::Shape::kNotLoaded) {
    RequireLoadFailureShape(facts.failure);
  }

  // The payload's way: a document of its own and the invoice's Id, the same
  // from the part of the document the payload keeps as from the whole.
  try {
    const quorbin::XmlDocument document = quorbin::XmlDocument::Parse(bytes);
    if (facts.shape == quorbin::InvoiceFileFacts::Shape::kNotLoaded) std::abort();
    const auto id_of = [](const quorbin::XmlDocument& document) {
      try {
        return "id:" + quorbin::InvoiceId(document);
      } catch (const quorbin::XmlFailure& failure) {
        return std::string("failure:") + failure.what();
      }
    };
    const std::string id = id_of(document);
    RequireUtf8(id);
    if (id != id_of(quorbin::XmlDocument::Parse(bytes, &quorbin::kInvoiceIdPruning))) std::abort();
  } catch (const quorbin::XmlResourceFailure&) {
    // the parser ran short of memory: no verdict on the input
  } catch (const quorbin::XmlLoadFailure& failure) {
    if (facts.shape != quorbin::InvoiceFileFacts::Shape::kNotLoaded) std::abort();
    if (facts.failure != failure.what()) std::abort();
  }
  return 0;
}
