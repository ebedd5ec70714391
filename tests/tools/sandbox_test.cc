#include "sandbox.h"

#include <gtest/gtest.h>

#include "testing/temp_dir.h"

namespace quorbin::sandbox {
namespace {

constexpr const char* kId = "NFe35261212345678000199650010000001231000123456";

std::string InvoiceBody(const std::string& xml, const std::string& nf_id) {
  std::string encoded;
  for (const unsigned char c : xml) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%%%02X", c);
    encoded += std::isalnum(c) ? std::string(1, static_cast<char>(c)) : std::string(hex);
  }
  return "{\"xml\":\"" + encoded + "\",\"emitente\":\"1\",\"data\":\"d\",\"nf_id\":\"" + nf_id +
         "\"}";
}

TEST(SandboxTest, ChecksTheTokenTheDocumentAndItsId) {
  testing::TempDir dir;
  SandboxOptions options;
  options.store = dir.path();
  options.token = "t";
  options.refused_numbers = {"123"};
  Sandbox sandbox(options);
  const std::string wrapped =
      std::string("<nfeProc><NFe><infNFe Id=\"") + kId + "\"/></NFe></nfeProc>";
  const std::string other_id = "NFe35261212345678000199650010000001241000123456";
  const std::string bare = "<NFe><infNFe Id=\"" + other_id + "\"/></NFe>";

  EXPECT_EQ(sandbox.Login("{\"cnpj\":\"1\"}").body, "\"t\"");
  EXPECT_EQ(sandbox.ReceiveInvoice("Token ", InvoiceBody(bare, other_id)).status, 401);
  EXPECT_EQ(sandbox.ReceiveInvoice("Token t", InvoiceBody(bare, other_id)).status, 200);
  EXPECT_EQ(sandbox.ReceiveInvoice("Token t", InvoiceBody(wrapped, kId)).status, 500)
      << "refused by number";
  EXPECT_EQ(sandbox.ReceiveInvoice("Token t", InvoiceBody(bare, kId)).status, 400) << "Id differs";
  EXPECT_EQ(sandbox.ReceiveInvoice("Token t", InvoiceBody("<NFe>", other_id)).status, 400);
  EXPECT_EQ(sandbox.ImportClosing("Token t", "{\"v\":\"\xE7\"}").status, 200);
  EXPECT_EQ(testing::ReadBytes(dir / "closings" / "closing-1.json"), "{\"v\":\"\xC3\xA7\"}");
  EXPECT_TRUE(std::filesystem::exists(dir / "invoices" / (other_id + ".xml")));
}

TEST(SandboxTest, EveryNthUploadIsRefused) {
  testing::TempDir dir;
  SandboxOptions options;
  options.store = dir.path();
  options.token = "t";
  options.fail_every = 2;
  Sandbox sandbox(options);
  EXPECT_EQ(sandbox.ImportClosing("Token t", "{}").status, 200);
  EXPECT_EQ(sandbox.ImportClosing("Token t", "{}").status, 500);
  EXPECT_EQ(sandbox.ImportClosing("Token t", "{}").status, 200);
}

TEST(SandboxTest, EntitiesAreNotExpandedNorFetched) {
  EXPECT_THROW(InvoiceId("<!DOCTYPE NFe [<!ENTITY e SYSTEM \"http://192.0.2.1/x\">]>"
                         "<NFe><infNFe Id=\"&e;\"/></NFe>"),
               std::exception);
}

}  // namespace
}  // namespace quorbin::sandbox
