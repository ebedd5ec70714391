#include "sync/xml_document.h"

#include <gtest/gtest.h>

#include <string>

#include "name_filling_documents.h"
#include "testing/process_memory.h"
#include "testing/temp_dir.h"
#include "testing/test_sockets.h"
#include "testing/wine.h"

namespace quorbin::testing {
namespace {

XmlDocument Parse(const std::string& text) {
  return XmlDocument::Parse(text);
}

TEST(XmlDocumentTest, ChildLookupByQualifiedOrLocalNameWithinTheParentsNamespace) {
  const XmlDocument doc = Parse(
      "<nfe:NFe xmlns:nfe='http://www.portalfiscal.inf.br/nfe'>"
      "<other:infNFe xmlns:other='urn:other'>wrong namespace</other:infNFe>"
      "<nfe:infNFe>in</nfe:infNFe>"
      "<ide xmlns='HTTP://WWW.PORTALFISCAL.INF.BR/NFE'>case of the URI ignored</ide>"
      "<emit xmlns=''>no namespace</emit>"
      "<Signature xmlns='http://www.w3.org/2000/09/xmldsig#'><SignedInfo>s</SignedInfo>"
      "</Signature></nfe:NFe>");
  const XmlNode nfe = doc.Child("NFe");
  ASSERT_TRUE(nfe.Exists());
  EXPECT_TRUE(doc.Child("nfe:NFe").Exists());
  EXPECT_EQ(nfe.Child("infNFe").Text(), "in");
  EXPECT_EQ(nfe.Child("other:infNFe").Exists(), false);
  EXPECT_EQ(nfe.Child("ide").Text(), "case of the URI ignored");
  EXPECT_FALSE(nfe.Child("emit").Exists());
  EXPECT_FALSE(nfe.Child("Signature").Exists());
  EXPECT_FALSE(nfe.Child("nfe").Exists());  // a prefix is not a name

  // Below an element without a namespace, any child matches by name.
  const XmlDocument plain = Parse("<a><b xmlns='urn:x'><c>1</c></b></a>");
  EXPECT_EQ(plain.Child("a").Child("b").Child("c").Text(), "1");
  EXPECT_FALSE(plain.Child("A").Exists());  // case matters
}

TEST(XmlDocumentTest, MissingNodesFailWhenAsked) {
  const XmlDocument doc = Parse("<a><b/></a>");
  const XmlNode missing = doc.Child("a").Child("x");
  EXPECT_FALSE(missing.Exists());
  EXPECT_THROW(missing.Child("y"), XmlFailure);
  EXPECT_THROW(missing.Text(), XmlFailure);
  EXPECT_THROW(missing.Attribute("Id"), XmlFailure);
  try {
    missing.Child("y");
  } catch (const XmlFailure& failure) {
    EXPECT_STREQ(failure.what(), "Element 'x' not found.");
  }
}

TEST(XmlDocumentTest, TextRules) {
  struct Case {
    const char* xml;
    const char* text;  // nullptr: reading fails
  };
  const Case cases[] = {
      {"<e/>", ""},
      {"<e>  \r\n\t </e>", ""},  // white space only is dropped
      {"<e> 12 </e>", " 12 "},   // nothing trimmed
      {"<e>a &amp; b &lt;&#231;&#x10348;</e>", "a & b <\xC3\xA7\xF0\x90\x8D\x88"},
      {"<e><![CDATA[ <x> ]]></e>", " <x> "},
      {"<e>\n  <![CDATA[c]]>\n</e>", "c"},
      {"<e>a<b/></e>", nullptr},
      {"<e><b/></e>", nullptr},
      {"<e>a<![CDATA[b]]></e>", nullptr},
      {"<e>a<!-- c --></e>", nullptr},
      {"<e><?pi x?></e>", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.xml);
    const XmlDocument doc = Parse(c.xml);
    const XmlNode e = doc.Child("e");
    if (c.text) {
      EXPECT_EQ(e.Text(), c.text);
    } else {
      EXPECT_THROW(e.Text(), XmlFailure);
    }
  }
}

TEST(XmlDocumentTest, AttributePresenceAndValue) {
  const XmlDocument doc =
      Parse("<e Id='NFe1' empty='' amp='a&amp;b&#38;c' x:q='p' xmlns:x='urn:x'/>");
  const XmlNode e = doc.Child("e");
  EXPECT_EQ(e.Attribute("Id"), "NFe1");
  EXPECT_EQ(e.Attribute("empty"), "");
  EXPECT_EQ(e.Attribute("amp"), "a&b&c");
  EXPECT_EQ(e.Attribute("x:q"), "p");
  EXPECT_EQ(e.Attribute("id"), std::nullopt);
  EXPECT_EQ(e.Attribute("q"), std::nullopt);
}

TEST(XmlDocumentTest, LoadFailureNamesReasonLineAndSource) {
  try {
    Parse("<a>\r\n<b>\r\n<c>0123456789012345678901234567890123456789XYZ</b>\r\n</a>");
    FAIL() << "loaded";
  } catch (const XmlLoadFailure& failure) {
    // The reason is the parser's own text; the rest is laid out alike everywhere.
    const std::string message = failure.what();
    if (RunningUnderWine()) {
      // Wine's MSXML tells neither a reason nor a line.
      EXPECT_NE(message.find("\r\nLine: 0\r\n"), std::string::npos) << message;
      return;
    }
    const std::string rest = "\r\nLine: 3\r\n<c>0123456789012345678901234567890123456";
    ASSERT_GT(message.size(), rest.size()) << message;
    EXPECT_TRUE(message.ends_with(rest)) << message;
    EXPECT_EQ(message.find("\r\n"), message.size() - rest.size()) << "a reason of one line";
  }
  // An undeclared prefix is a failure of a namespace-aware parser.
  EXPECT_THROW(Parse("<nfe:NFe/>"), XmlLoadFailure);
  EXPECT_THROW(Parse("<a/><b/>"), XmlLoadFailure);
  // A damaged declaration after an entity's stops the parser inside the document
  // type, before it has freed what it keeps of the entities (the sanitizer build
  // sees a leak there).
  EXPECT_THROW(Parse("<!DOCTYPE a [<!ENTITY e \"1\"> <!ENTITY f \"x\" junk>]><a>&e;</a>"),
               XmlLoadFailure);

  TempDir dir;
  try {
    XmlDocument::Load(dir / "absent.xml");
    FAIL() << "loaded";
  } catch (const XmlLoadFailure& failure) {
    EXPECT_NE(std::string(failure.what()).find("\r\nLine: 0\r\n"), std::string::npos);
  }
}

TEST(XmlDocumentTest, LargeDocumentsParseWhole) {
  std::string certificate(40000, 'A');
  for (std::size_t i = 0; i < certificate.size(); i += 7) certificate[i] = 'z';
  std::string text = "<nfeProc><NFe><Signature><X509Certificate>" + certificate +
                     "</X509Certificate></Signature></NFe><protNFe>";
  for (int i = 0; i < 500; ++i) text += "<chNFe a='" + std::to_string(i) + "'>k</chNFe>";
  text += "</protNFe></nfeProc>";
  const XmlDocument doc = Parse(text);
  EXPECT_EQ(doc.Child("nfeProc").Child("NFe").Child("Signature").Child("X509Certificate").Text(),
            certificate);
  EXPECT_EQ(doc.Child("nfeProc").Child("protNFe").Child("chNFe").Attribute("a"), "0");
}

// What the parser keeps of the names it met in one document must not change how
// a later document parses.
TEST(XmlDocumentTest, NoDocumentChangesHowALaterOneParses) {
  for (const std::string& text : NameFillingDocuments()) {
    EXPECT_NO_THROW(Parse(text)) << text.substr(0, 20);
  }
  const std::string invoice =
      "\xEF\xBB\xBF<NFe xmlns='http://www.portalfiscal.inf.br/nfe'><infNFe><ide><cNF>811</cNF>"
      "</ide></infNFe></NFe>";
  try {
    EXPECT_EQ(Parse(invoice).Child("NFe").Child("infNFe").Child("ide").Child("cNF").Text(), "811");
  } catch (const XmlLoadFailure& failure) {
    ADD_FAILURE() << failure.what();
  }
}

TEST(XmlDocumentTest, EncodingsFromTheDocument) {
  EXPECT_EQ(Parse("<?xml version='1.0' encoding='ISO-8859-1'?><e>\xE7</e>").Child("e").Text(),
            "\xC3\xA7");
  static const char kUtf16[] = "\xFF\xFE<\0e\0>\0\xE7\0<\0/\0e\0>\0";
  EXPECT_EQ(Parse(std::string(kUtf16, sizeof kUtf16 - 1)).Child("e").Text(), "\xC3\xA7");
}

TEST(XmlDocumentTest, ExternalEntitiesAndDocumentTypesAreNeverFetched) {
  TempDir dir;
  WriteBytes(dir / "secret.txt", "SECRET");
  WriteBytes(dir / "types.dtd", "<!ENTITY inner 'SECRET'>");
  const LoopbackPort listener(true);
  const std::string http = "http://127.0.0.1:" + std::to_string(listener.port()) + "/x";
  const std::string documents[] = {
      "<!DOCTYPE e [<!ENTITY x SYSTEM '" + (dir / "secret.txt").string() + "'>]><e>&x;</e>",
      "<!DOCTYPE e [<!ENTITY x SYSTEM '" + http + "'>]><e>&x;</e>",
      "<!DOCTYPE e [<!ENTITY % p SYSTEM '" + http + "'> %p;]><e>t</e>",
      "<!DOCTYPE e SYSTEM '" + http + "'><e>&inner;</e>",
      "<!DOCTYPE e SYSTEM '" + (dir / "types.dtd").string() + "'><e>&inner;</e>",
      "<e xmlns:xi='http://www.w3.org/2001/XInclude'><xi:include href='" + http + "'/></e>",
  };
  for (const std::string& text : documents) {
    SCOPED_TRACE(text);
    WriteBytes(dir / "doc.xml", text);
    try {
      const XmlDocument doc = XmlDocument::Load(dir / "doc.xml");
      const XmlNode e = doc.Child("e");
      ASSERT_TRUE(e.Exists());
      try {
        EXPECT_EQ(e.Text().find("SECRET"), std::string::npos);
      } catch (const XmlFailure&) {
        // an entity reference left as it is
      }
    } catch (const XmlLoadFailure&) {
      // refused: just as safe
    }
  }
  EXPECT_FALSE(listener.WasContacted());
}

TEST(XmlDocumentTest, EntityExpansionBombLoadsWithoutGrowing) {
  std::string bomb = "<?xml version='1.0'?><!DOCTYPE lolz [<!ENTITY lol 'lollollollollol'>";
  std::string previous = "lol";
  for (int level = 1; level <= 12; ++level) {
    const std::string name = "lol" + std::to_string(level);
    bomb += "<!ENTITY " + name + " '";
    for (int i = 0; i < 10; ++i) bomb += "&" + previous + ";";
    bomb += "'>";
    previous = name;
  }
  bomb += "]><lolz a='&" + previous + ";'>&" + previous + ";</lolz>";
  const long before = PeakResidentKilobytes();
  for (int i = 0; i < 3; ++i) {
    try {
      const XmlDocument doc = Parse(bomb);
      EXPECT_THROW(doc.Child("lolz").Text(), XmlFailure);
    } catch (const XmlLoadFailure&) {
    }
  }
  EXPECT_LT(PeakResidentKilobytes() - before, 16 * 1024);
}

}  // namespace
}  // namespace quorbin::testing
