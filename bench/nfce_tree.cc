#include "nfce_tree.h"

#include <cstdio>
#include <fstream>
#include <random>
#include <stdexcept>

namespace quorbin::bench {
namespace {

constexpr const char* kRoots[] = {"Validadas", "Contigencias", "Transmitidas", "Canceladas"};
// Share of the files in each root, in percent.
constexpr int kRootShare[] = {20, 5, 70, 5};

const char* kProducts[] = {"REFRIGERANTE COLA 2L", "PAO FRANCES KG",      "ARROZ TIPO 1 5KG",
                           "FEIJAO CARIOCA 1KG",   "CAFE TORRADO 500G",   "LEITE INTEGRAL 1L",
                           "SABAO EM PO 1KG",      "ACUCAR REFINADO 1KG", "OLEO DE SOJA 900ML"};

class Writer {
 public:
  explicit Writer(std::uint32_t seed) : random_(seed) {}

  int Between(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

  std::string Digits(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += static_cast<char>('0' + Between(0, 9));
    return text;
  }

  std::string Base64(int count) {
    static const char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (int i = 0; i < count; ++i) text += kAlphabet[Between(0, 63)];
    return text;
  }

  static std::string Money(int cents) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%02d", cents / 100, cents % 100);
    return text;
  }

 private:
  std::mt19937 random_;
};

struct Sale {
  std::string key;
  std::string cnpj;
  std::string cnf;
  std::string number;
  int year;
  int month;
};

std::string Element(const std::string& name, const std::string& text) {
  return "<" + name + ">" + text + "</" + name + ">";
}

std::string Item(Writer& w, int index, int* total_cents) {
  const int cents = w.Between(150, 9000);
  const int quantity = w.Between(1, 3);
  *total_cents += cents * quantity;
  const std::string value = Writer::Money(cents * quantity);
  return "<det nItem=\"" + std::to_string(index) + "\"><prod>" + Element("cProd", w.Digits(6)) +
         Element("cEAN", "SEM GTIN") + Element("xProd", kProducts[w.Between(0, 8)]) +
         Element("NCM", w.Digits(8)) + Element("CFOP", "5102") + Element("uCom", "UN") +
         Element("qCom", std::to_string(quantity) + ".0000") +
         Element("vUnCom", Writer::Money(cents) + "00") + Element("vProd", value) +
         Element("cEANTrib", "SEM GTIN") + Element("uTrib", "UN") +
         Element("qTrib", std::to_string(quantity) + ".0000") +
         Element("vUnTrib", Writer::Money(cents) + "00") + Element("indTot", "1") +
         "</prod><imposto>" + Element("vTotTrib", Writer::Money(cents * quantity / 5)) +
         "<ICMS><ICMSSN102><orig>0</orig><CSOSN>102</CSOSN></ICMSSN102></ICMS>"
         "<PIS><PISOutr><CST>99</CST><vBC>0.00</vBC><pPIS>0.0000</pPIS><vPIS>0.00</vPIS>"
         "</PISOutr></PIS><COFINS><COFINSOutr><CST>99</CST><vBC>0.00</vBC>"
         "<pCOFINS>0.0000</pCOFINS><vCOFINS>0.00</vCOFINS></COFINSOutr></COFINS></imposto></det>";
}

std::string InvoiceElement(Writer& w, const Sale& sale) {
  char date[64];
  std::snprintf(date, sizeof date, "%04d-%02d-%02dT%02d:%02d:%02d-03:00", sale.year, sale.month,
                w.Between(1, 28), w.Between(8, 21), w.Between(0, 59), w.Between(0, 59));
  std::string text =
      "<infNFe versao=\"4.00\" Id=\"NFe" + sale.key + "\"><ide>" + Element("cUF", "35") +
      Element("cNF", sale.cnf) + Element("natOp", "VENDA AO CONSUMIDOR") + Element("mod", "65") +
      Element("serie", "1") + Element("nNF", sale.number) + Element("dhEmi", date) +
      Element("tpNF", "1") + Element("idDest", "1") + Element("cMunFG", "3550308") +
      Element("tpImp", "4") + Element("tpEmis", "1") + Element("cDV", sale.key.substr(43)) +
      Element("tpAmb", "1") + Element("finNFe", "1") + Element("indFinal", "1") +
      Element("indPres", "1") + Element("procEmi", "0") + Element("verProc", "PDV 4.2.17") +
      "</ide><emit>" + Element("CNPJ", sale.cnpj) +
      Element("xNome", "SUPERMERCADO BOA VIAGEM COMERCIO DE ALIMENTOS LTDA") +
      Element("xFant", "SUPERMERCADO BOA VIAGEM") + "<enderEmit>" +
      Element("xLgr", "AVENIDA DOS BANDEIRANTES") + Element("nro", "1540") +
      Element("xBairro", "VILA OLIMPIA") + Element("cMun", "3550308") +
      Element("xMun", "SAO PAULO") + Element("UF", "SP") + Element("CEP", "04553000") +
      Element("cPais", "1058") + Element("xPais", "BRASIL") + Element("fone", "1130456789") +
      "</enderEmit>" + Element("IE", w.Digits(12)) + Element("CRT", "1") + "</emit>";
  int total_cents = 0;
  const int items = w.Between(1, 5);
  for (int i = 1; i <= items; ++i) text += Item(w, i, &total_cents);
  const std::string total = Writer::Money(total_cents);
  text +=
      "<total><ICMSTot><vBC>0.00</vBC><vICMS>0.00</vICMS><vICMSDeson>0.00</vICMSDeson>"
      "<vFCP>0.00</vFCP><vBCST>0.00</vBCST><vST>0.00</vST><vFCPST>0.00</vFCPST>"
      "<vFCPSTRet>0.00</vFCPSTRet>" +
      Element("vProd", total) +
      "<vFrete>0.00</vFrete><vSeg>0.00</vSeg><vDesc>0.00</vDesc><vII>0.00</vII>"
      "<vIPI>0.00</vIPI><vIPIDevol>0.00</vIPIDevol><vPIS>0.00</vPIS><vCOFINS>0.00</vCOFINS>"
      "<vOutro>0.00</vOutro>" +
      Element("vNF", total) + Element("vTotTrib", Writer::Money(total_cents / 5)) +
      "</ICMSTot></total><transp><modFrete>9</modFrete></transp><pag><detPag>" +
      Element("tPag", std::string(1, '0') += static_cast<char>('0' + w.Between(1, 4))) +
      Element("vPag", total) + "</detPag><vTroco>0.00</vTroco></pag><infAdic><infCpl>" +
      "Tributos aproximados: Federal " + Writer::Money(total_cents / 9) + " Estadual " +
      Writer::Money(total_cents / 6) + " Fonte IBPT. Volte sempre! Caixa " +
      std::to_string(w.Between(1, 9)) + " Operador " + w.Digits(4) + "</infCpl></infAdic></infNFe>";
  text += "<infNFeSupl><qrCode><![CDATA[https://www.nfce.fazenda.sp.gov.br/qrcode?p=" + sale.key +
          "|2|1|1|" + w.Base64(40) +
          "]]></qrCode><urlChave>https://www.nfce.fazenda.sp.gov.br/consulta</urlChave>"
          "</infNFeSupl>";
  text +=
      "<Signature xmlns=\"http://www.w3.org/2000/09/xmldsig#\"><SignedInfo>"
      "<CanonicalizationMethod Algorithm=\"http://www.w3.org/TR/2001/"
      "REC-xml-c14n-20010315\"/><SignatureMethod Algorithm=\"http://www.w3.org/2000/09/"
      "xmldsig#rsa-sha1\"/><Reference URI=\"#NFe" +
      sale.key +
      "\"><Transforms><Transform Algorithm=\"http://www.w3.org/2000/09/"
      "xmldsig#enveloped-signature\"/><Transform Algorithm=\"http://www.w3.org/TR/2001/"
      "REC-xml-c14n-20010315\"/></Transforms><DigestMethod Algorithm=\"http://www.w3.org/"
      "2000/09/xmldsig#sha1\"/>" +
      Element("DigestValue", w.Base64(27) + "=") + "</Reference></SignedInfo>" +
      Element("SignatureValue", w.Base64(342) + "==") + "<KeyInfo><X509Data>" +
      Element("X509Certificate", w.Base64(w.Between(2400, 3000))) +
      "</X509Data></KeyInfo></Signature>";
  return text;
}

std::string Document(Writer& w, const Sale& sale, bool bare) {
  const std::string nfe =
      "<NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\">" + InvoiceElement(w, sale) + "</NFe>";
  std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  if (bare) return text + nfe;
  char received[64];
  std::snprintf(received, sizeof received, "%04d-%02d-%02dT%02d:%02d:%02d-03:00", sale.year,
                sale.month, w.Between(1, 28), w.Between(8, 21), w.Between(0, 59), w.Between(0, 59));
  return text + "<nfeProc xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"4.00\">" + nfe +
         "<protNFe versao=\"4.00\"><infProt>" + Element("tpAmb", "1") +
         Element("verAplic", "SP_NFCE_PL_009_V400") + Element("chNFe", sale.key) +
         Element("dhRecbto", received) + Element("nProt", "1352" + w.Digits(11)) +
         Element("digVal", w.Base64(27) + "=") + Element("cStat", "100") +
         Element("xMotivo", "Autorizado o uso da NF-e") + "</infProt></protNFe></nfeProc>";
}

std::string Damaged(Writer& w, std::string text) {
  if (w.Between(0, 1) == 0) return text.substr(0, text.size() * 2 / 3);
  const auto at = text.find("<emit>");
  return text.replace(at, 6, "<nfe:emit>");
}

}  // namespace

std::string WithCheckDigit(const std::string& first_43_digits) {
  int sum = 0;
  int weight = 2;
  for (auto it = first_43_digits.rbegin(); it != first_43_digits.rend(); ++it) {
    sum += (*it - '0') * weight;
    weight = weight == 9 ? 2 : weight + 1;
  }
  const int rest = sum % 11;
  const int digit = rest < 2 ? 0 : 11 - rest;
  return first_43_digits + static_cast<char>('0' + digit);
}

NfceTree WriteNfceTree(const std::filesystem::path& drive_c, const NfceTreeOptions& options) {
  Writer w(options.seed);
  NfceTree tree;
  const auto nfce = drive_c / "Tavrellis" / "PDV" / "NFCe";
  for (int i = 0; i < options.files; ++i) {
    Sale sale;
    sale.year = 2021 + w.Between(0, 1);
    sale.month = w.Between(1, 12);
    sale.cnpj = w.Between(0, 9) == 0 ? "98765432000110" : options.emitter_cnpj;
    sale.cnf = w.Digits(8);
    sale.number = std::to_string(i + 1);
    char stem[64];
    std::snprintf(stem, sizeof stem, "35%02d%02d%s65%03d%09d1%s", sale.year % 100, sale.month,
                  sale.cnpj.c_str(), 1, i + 1, sale.cnf.c_str());
    sale.key = WithCheckDigit(stem);

    int pick = w.Between(0, 99);
    int root = 0;
    while (pick >= kRootShare[root]) pick -= kRootShare[root++];
    char month[16];
    std::snprintf(month, sizeof month, "%04d%02d", sale.year, sale.month);
    const auto folder = nfce / kRoots[root] / month;
    std::filesystem::create_directories(folder);

    const bool malformed = w.Between(0, 199) == 0;
    std::string text = Document(w, sale, w.Between(0, 19) == 0);
    if (malformed) text = Damaged(w, std::move(text));
    const auto path = folder / (sale.key + "-nfe.xml");
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
    tree.total_bytes += text.size();
    tree.invoices.push_back(GeneratedInvoice{
        path, sale.key, static_cast<std::int32_t>(std::stol(sale.cnf)), malformed});
  }
  return tree;
}

std::vector<DirectInvoice> WriteDirectInvoices(const std::filesystem::path& drive_c, int count,
                                               std::uint32_t seed) {
  NfceTreeOptions options;
  options.files = count + count / 5 + 10;
  options.seed = seed;
  const NfceTree tree = WriteNfceTree(drive_c, options);
  const std::filesystem::path transmitted = drive_c / "Tavrellis" / "PDV" / "NFCe" / "Transmitidas";
  std::vector<DirectInvoice> chosen;
  for (const GeneratedInvoice& invoice : tree.invoices) {
    if (static_cast<int>(chosen.size()) == count) break;
    if (invoice.malformed) continue;
    const std::string month = invoice.path.parent_path().filename().string();
    const std::filesystem::path direct = transmitted / month / invoice.path.filename();
    std::filesystem::create_directories(direct.parent_path());
    if (direct != invoice.path) std::filesystem::rename(invoice.path, direct);
    chosen.push_back({invoice.key, month});
  }
  return chosen;
}

}  // namespace quorbin::bench
