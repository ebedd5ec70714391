// Only the parser's verdict on a file's bytes is remembered or logged as one: a
// parse that failed because memory ran out says nothing of the file, which is
// parsed once more at once and again at the next search.
#include <gtest/gtest.h>

#include <string>

#include "libxml_without_memory.h"
#include "sync/emitter_cnpj.h"
#include "sync/invoice_file_facts.h"
#include "sync/invoice_location.h"
#include "sync_fixture.h"
#include "testing/fake_query.h"

namespace quorbin::testing {
namespace {

// A document type declaration sends the document to libxml2.
const std::string kInvoice = "<!DOCTYPE NFe>" + BareInvoice("12345678000190", "00001234");

TEST(InvoiceFactsResourcesTest, AParserWithoutMemoryGivesNoVerdictOnTheFile) {
  XmlDocument scratch;
  InvoiceFileFacts starved;
  {
    LibxmlWithoutMemory no_memory;
    starved = ExamineInvoiceBytes(kInvoice, scratch);
  }
  EXPECT_EQ(starved.shape, InvoiceFileFacts::Shape::kFailed);
  EXPECT_FALSE(starved.from_document);

  const InvoiceFileFacts damaged = ExamineInvoiceBytes("<!DOCTYPE NFe><NFe>", scratch);
  EXPECT_EQ(damaged.shape, InvoiceFileFacts::Shape::kNotLoaded);
  EXPECT_TRUE(damaged.from_document) << damaged.failure;
  const InvoiceFileFacts fine = ExamineInvoiceBytes(kInvoice, scratch);
  EXPECT_EQ(fine.cnf, "00001234");
  EXPECT_TRUE(fine.from_document);
}

TEST(InvoiceFactsResourcesTest, AFailureForWantOfMemoryIsNotRemembered) {
  TempDir dir;
  WriteBytes(dir / "a.xml", kInvoice);
  InvoiceFactsCache cache(0);  // nothing changes the file: kept at once
  platform::OpenFolder folder(dir.path());
  const auto stamp = folder.StampOfFile("a.xml");
  ASSERT_TRUE(stamp);
  cache.BeginSearch();
  {
    LibxmlWithoutMemory no_memory;
    const InvoiceFileFacts starved = cache.Examine(folder, "a.xml", *stamp);
    EXPECT_EQ(starved.shape, InvoiceFileFacts::Shape::kFailed);
    EXPECT_FALSE(starved.from_document);
  }
  cache.EndSearch();
  EXPECT_EQ(cache.size(), 0u);

  cache.BeginSearch();
  EXPECT_EQ(cache.Examine(folder, "a.xml", *stamp).cnf, "00001234");
  cache.EndSearch();
  EXPECT_EQ(cache.size(), 1u);
}

TEST(InvoiceFactsResourcesTest, AParseThatRanOutOfMemoryIsTriedOnceMore) {
  XmlDocument scratch;
  LibxmlWithoutMemory one_refusal(1);
  const InvoiceFileFacts facts = ExamineInvoiceBytes(kInvoice, scratch);
  EXPECT_EQ(one_refusal.refusals_left(), 0);
  EXPECT_EQ(facts.cnf, "00001234") << facts.failure;
}

// The search logs a file it could not parse for want of memory as a failed file,
// not as a damaged one.
TEST(InvoiceFactsResourcesTest, TheSearchDoesNotCallAFileDamagedForWantOfMemory) {
  SyncFixture f;
  FakeQuery emitente{"fbquery2", {FakeRow{{"cnpj", TextValue("12345678000190")}}}};
  InvoiceLocator locator{f.log, f.pump, [&] { return ReadEmitterCnpj(emitente); }};
  const auto file = f.Put("Validadas/a.xml", kInvoice);
  {
    LibxmlWithoutMemory no_memory;
    EXPECT_EQ(locator.FindInvoiceFile(f.nfce() / "Validadas", "12345678000190", "00001234"), "");
  }
  const auto lines = f.messages();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].starts_with("Erro ao pesquisar arquivos: ")) << lines[0];
  EXPECT_EQ(locator.FindInvoiceFile(f.nfce() / "Validadas", "12345678000190", "00001234"),
            file.string());
}

}  // namespace
}  // namespace quorbin::testing
