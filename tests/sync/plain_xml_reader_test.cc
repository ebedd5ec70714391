#include "sync/plain_xml_reader.h"

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sync/invoice_file_facts.h"
#include "sync/nfce_document.h"
#include "sync/xml_document.h"
#include "sync/xml_tree_builder.h"

namespace quorbin::testing {
namespace {

const std::string kNfe =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<nfeProc xmlns=\"http://www.portalfiscal.inf.br/nfe\" versao=\"4.00\">"
    "<NFe xmlns=\"http://www.portalfiscal.inf.br/nfe\"><infNFe versao=\"4.00\" "
    "Id=\"NFe35230512345678000190650010000000011000000010\">\r\n"
    "  <ide><cUF>35</cUF><cNF>00000001</cNF><natOp>VENDA AO CONSUMIDOR</natOp></ide>\r\n"
    "  <emit><CNPJ>12345678000190</CNPJ><xNome>Padaria &amp; Café São João</xNome>"
    "<enderEmit><xLgr>Rua &quot;A&quot; &lt;1&gt;</xLgr><nro>&#49;&#x32;3</nro></enderEmit>"
    "</emit><!-- itens -->\r\n"
    "  <det nItem=\"1\"><prod><xProd>P\xC3\xA3o\tfrancês</xProd><vProd>1.50</vProd></prod></det>"
    "<infAdic><infCpl>linha 1\rlinha 2\nlinha 3</infCpl></infAdic>"
    "</infNFe><Signature xmlns=\"http://www.w3.org/2000/09/xmldsig#\"><SignedInfo>"
    "<Reference URI=\"#NFe35\"/></SignedInfo></Signature></NFe>"
    "<infNFeSupl><qrCode><![CDATA[https://x/qrcode?p=3523|2|1|1|AB+/=]]></qrCode>"
    "<urlChave><![CDATA[a\r\nb\rc <&> ]] ]>]]>t<![CDATA[ ]]></urlChave></infNFeSupl>"
    "<protNFe versao=\"4.00\"><infProt><chNFe>3523</chNFe></infProt></protNFe></nfeProc>\n";

// The document and whether it loaded, by `parse`.
template <class Parse>
std::optional<XmlDocument> Parsed(std::string_view bytes, const XmlPruning* pruning, Parse parse) {
  XmlDocument document;
  XmlTreeBuilder builder(document, pruning);
  if (!parse(bytes, builder)) return std::nullopt;
  return document;
}

// The agent's parse (the plain reader, else libxml2 after it) gives exactly what
// libxml2 alone gives, whole and pruned as a search and the payload prune:
// acceptance and nodes. Tells whether the plain reader took the document.
void ExpectSameAsLibxml2(std::string_view bytes, bool* read) {
  for (const XmlPruning* pruning :
       {static_cast<const XmlPruning*>(nullptr), &kInvoiceFactsPruning, &kInvoiceIdPruning}) {
    const auto plain = Parsed(bytes, pruning, [](std::string_view b, XmlTreeBuilder& builder) {
      return ReadPlainXml(b, builder);
    });
    *read = plain.has_value();
    const auto agent = Parsed(bytes, pruning, [](std::string_view b, XmlTreeBuilder& builder) {
      return !ParseXml(b, builder);
    });
    const auto reference = Parsed(bytes, pruning, [](std::string_view b, XmlTreeBuilder& builder) {
      return !ParseXmlWithLibxml2(b, builder);
    });
    ASSERT_EQ(agent.has_value(), reference.has_value()) << bytes;
    if (!reference) {
      ASSERT_FALSE(*read) << "accepted what libxml2 refuses: " << bytes;
      continue;
    }
    EXPECT_TRUE(*agent == *reference) << "other nodes than libxml2's: " << bytes;
    if (*read) {
      EXPECT_TRUE(*plain == *reference) << "other nodes than libxml2's: " << bytes;
    }
  }
}

TEST(PlainXmlReaderTest, ReadsPlainDocumentsAsLibxml2Does) {
  const std::vector<std::string> documents = {
      kNfe,
      "<a/>",
      " \n<a b='1' c = \"2\"\t/>\n<!-- end -->\n",
      "<?xml version='1.0'?><a>x<!--c-->y</a>",
      "<?xml version=\"1.0\" encoding=\"utf-8\" ?><a><b>  </b> <c>t</c>\n</a>",
      "<p:a xmlns:p=\"urn:x\"><p:b xmlns:p=\"urn:y\"/><c xmlns=\"urn:z\"><d/></c><e/></p:a>",
      "<a v=\"l1\r\nl2\rl3\nl4\tx&#10;&#13;&#9;y\"/>",
      "<a v=\"&amp;#38; &#38; &amp;amp;\">&amp;#38;</a>",
      "<a>\xF0\x9F\x98\x80 \xEF\xBF\xBD \x7F \xC2\x80</a>",
      "<a>]] > ]></a>",
      "<a><![CDATA[x]]><![CDATA[y]]>z<![CDATA[\xC3\xA7\r\n]]></a>",
      "<a x=\"]]>\" y='\"'/>",
      // Close to the reserved namespace names, but others.
      "<a xmlns:p=\"http://www.w3.org/2000/xmlns\" "
      "xmlns=\"http://www.w3.org/xml/1998/namespace\"/>",
  };
  for (const std::string& document : documents) {
    bool read = false;
    ExpectSameAsLibxml2(document, &read);
    EXPECT_TRUE(read) << "left to libxml2: " << document;
  }
}

TEST(PlainXmlReaderTest, LeavesEverythingElseToLibxml2) {
  const std::vector<std::string> documents = {
      // Outside the plain part of XML.
      "\xEF\xBB\xBF<a/>",
      "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>",
      "<?xml version=\"1.1\"?><a/>",
      "<?xml version=\"1.0\" standalone=\"yes\"?><a/>",
      "<!DOCTYPE a><a/>",
      "<a><?pi x?></a>",
      "<?pi?><a/>",
      "<a xml:lang=\"pt\"/>",
      "<a xmlns:p=\"urn:x\" p:b=\"1\"/>",
      "<a xmlns=\"\"/>",
      "<a xmlns=\"relative\"/>",
      "<a xmlns:p=\"\"/>",
      "<\xC3\xA7/>",
      "<a>&eacute;</a>",
      "<a:b/>",
      "<xml:a/>",
      // The reserved namespace names and prefixes, which libxml2 refuses or
      // (xml bound to its own name) takes without a declaration.
      "<a xmlns:p=\"http://www.w3.org/XML/1998/namespace\"/>",
      "<p:a xmlns:p=\"http://www.w3.org/XML/1998/namespace\"/>",
      "<a xmlns=\"http://www.w3.org/XML/1998/namespace\"/>",
      "<a><b xmlns=\"http://www.w3.org/XML/1998/namespace\"/></a>",
      "<a xmlns:p=\"http://www.w3.org/2000/xmlns/\"/>",
      "<a xmlns=\"http://www.w3.org/2000/xmlns/\"/>",
      "<a xmlns:xml=\"http://www.w3.org/XML/1998/namespace\"/>",
      "<a xmlns:xml=\"urn:x\"/>",
      "<a xmlns:xml=\"http://www.w3.org/2000/xmlns/\"/>",
      "<a xmlns:xmlns=\"urn:x\"/>",
      "<a xmlns:xmlns=\"http://www.w3.org/2000/xmlns/\"/>",
      "<a xmlns:xmlns=\"http://www.w3.org/XML/1998/namespace\"/>",
      // Not well-formed.
      "",
      "  ",
      "<a>",
      "<a></b>",
      "<a><b></a></b>",
      "<a/><b/>",
      "<a/>x",
      "x<a/>",
      "<a b=1/>",
      "<a b=\"1\"c=\"2\"/>",
      "<a b=\"1\" b=\"2\"/>",
      "<a xmlns=\"urn:x\" xmlns=\"urn:y\"/>",
      "<a b=\"<\"/>",
      "<a>]]></a>",
      "<a>&amp</a>",
      "<a>&#0;</a>",
      "<a>&#xD800;</a>",
      "<a>&#X41;</a>",
      "<a>\x01</a>",
      "<a>\xC3</a>",
      "<a>\xC0\x80</a>",
      "<a>\xED\xA0\x80</a>",
      "<a>\xEF\xBF\xBE</a>",
      "<a><!-- a -- b --></a>",
      "<a><!-- a ---></a>",
      "<a/ >",
      "< a/>",
      "<a></ a>",
      "<?xml version=\"1.0\"?>",
      " <?xml version=\"1.0\"?><a/>",
      std::string("<a>\0</a>", 8),
      std::string(200, '<') + "a/>",
  };
  for (const std::string& document : documents) {
    bool read = true;
    ExpectSameAsLibxml2(document, &read);
    EXPECT_FALSE(read) << "read plainly: " << document;
  }
  std::string deep;
  for (int i = 0; i < 200; ++i) deep += "<a>";
  for (int i = 0; i < 200; ++i) deep += "</a>";
  bool read = true;
  ExpectSameAsLibxml2(deep, &read);
  EXPECT_FALSE(read);
}

// An element of many attributes, namespace declarations among them: read
// plainly with libxml2's nodes, and left to libxml2, which refuses it, when its
// last attribute repeats an earlier one's name. (libxml2's own check of an
// element takes time in the square of its attributes: 20,000 keep this test
// short.)
TEST(PlainXmlReaderTest, ElementWithManyAttributesIsReadAsLibxml2ReadsIt) {
  const auto element = [](std::string_view last) {
    std::string bytes = "<p:r xmlns:p=\"urn:x\" xmlns=\"urn:y\"";
    for (int i = 0; i < 20'000; ++i) bytes += " a" + std::to_string(i) + "=\"\"";
    return bytes.append(" ").append(last).append("/>");
  };
  bool read = false;
  ExpectSameAsLibxml2(element("z=\"1\""), &read);
  EXPECT_TRUE(read) << "left to libxml2";
  for (const std::string_view repeated : {"a0=\"1\"", "xmlns:p=\"urn:z\"", "xmlns=\"urn:z\""}) {
    ExpectSameAsLibxml2(element(repeated), &read);
    EXPECT_FALSE(read) << "read plainly with " << repeated << " repeated";
  }
}

// Damaged invoices: whatever the plain reader accepts, libxml2 accepts with the
// same nodes, and the rest is libxml2's to judge.
TEST(PlainXmlReaderTest, DamagedInvoicesAreReadPlainlyOnlyWhenLibxml2AgreesOnEveryNode) {
  std::mt19937 random(2026);
  // Harmless where they land in text, and faults anywhere else.
  const std::string harmless[] = {"a",        " ",        "\r\n",   "\r",
                                  "\t",       "&amp;",    "&#233;", "&#x1F600;",
                                  "\xC3\xA9", "<!--x-->", "<b/>",   "<b>t</b>"};
  const std::string faults[] = {"<",   ">",  "/",    "&",    ";",  "\"",   "'",     "=",
                                "]]>", "--", "\xC3", "\x01", "&#", "</a>", "xmlns", ":"};
  int read_plainly = 0;
  int left = 0;
  for (int i = 0; i < 3000; ++i) {
    std::string bytes = kNfe;
    for (int damage = 1 + static_cast<int>(random() % 3); damage > 0; --damage) {
      const std::size_t at = random() % bytes.size();
      switch (random() % 4) {
        case 0:
          bytes.insert(at, harmless[random() % std::size(harmless)]);
          break;
        case 1:
          bytes.erase(at, 1 + random() % 8);
          break;
        case 2:
          bytes.insert(at, harmless[random() % std::size(harmless)]);
          break;
        default:
          bytes.insert(at, faults[random() % std::size(faults)]);
      }
    }
    bool read = false;
    ExpectSameAsLibxml2(bytes, &read);
    (read ? read_plainly : left) += 1;
    if (HasFailure()) break;
  }
  // Both ways were taken, or the damage did not test what it should.
  EXPECT_GT(read_plainly, 300);
  EXPECT_GT(left, 300);
}

}  // namespace
}  // namespace quorbin::testing
