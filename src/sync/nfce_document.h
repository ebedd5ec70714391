// The parts of an NFC-e document that the agent reads: the invoice element
// (`infNFe`) and its `Id`. A wrapped document has the root `nfeProc` holding the
// `NFe`; a bare document has the `NFe` at the root.
#pragma once

#include <string>

#include "sync/xml_document.h"

namespace quorbin {

// The invoice element as a folder search picks it: below the `NFe` of an
// `nfeProc` root when there is one, else below a root `NFe`. Missing (not
// Exists()) when the document has neither; an `NFe` without `infNFe` fails.
XmlNode SearchedInvoiceElement(const XmlDocument& document);

// The `Id` of nfeProc/NFe/infNFe, else of NFe/infNFe at the root. A missing
// attribute fails; an empty one is empty text.
std::string InvoiceId(const XmlDocument& document);

// The elements InvoiceId reads: a document loaded with it gives the same Id.
extern const XmlPruning kInvoiceIdPruning;

}  // namespace quorbin
