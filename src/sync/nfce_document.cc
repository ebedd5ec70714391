#include "sync/nfce_document.h"

namespace quorbin {

namespace {

XmlNode InvoiceElementOf(const XmlNode& nfe) {
  const XmlNode invoice = nfe.Child("infNFe");
  if (!invoice.Exists()) throw XmlFailure("Element 'infNFe' not found.");
  return invoice;
}

}  // namespace

const XmlPruning kInvoiceIdPruning{{"nfeProc", "NFe", "infNFe"}, {}};

XmlNode SearchedInvoiceElement(const XmlDocument& document) {
  const XmlNode wrapper = document.Child("nfeProc");
  if (wrapper.Exists()) {
    const XmlNode nfe = wrapper.Child("NFe");
    if (nfe.Exists()) return InvoiceElementOf(nfe);
  }
  const XmlNode nfe = document.Child("NFe");
  if (!nfe.Exists()) return nfe;
  return InvoiceElementOf(nfe);
}

std::string InvoiceId(const XmlDocument& document) {
  const XmlNode wrapper = document.Child("nfeProc");
  if (wrapper.Exists()) {
    const XmlNode nfe = wrapper.Child("NFe");
    if (nfe.Exists()) {
      const XmlNode invoice = nfe.Child("infNFe");
      if (invoice.Exists()) {
        if (auto id = invoice.Attribute("Id")) return *id;
      }
    }
  }
  const XmlNode invoice = document.Child("NFe").Child("infNFe");
  if (auto id = invoice.Attribute("Id")) return *id;
  throw XmlFailure("The invoice element has no attribute 'Id'.");
}

}  // namespace quorbin
