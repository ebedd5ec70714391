// Only the parser's verdict on a file's bytes is remembered: a parse that failed
// because memory ran out says nothing of the file, which must be parsed again at
// the next search. libxml2 allocates through functions it can be handed, so the
// test takes its memory away.
#include <libxml/xmlmemory.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "sync/invoice_file_facts.h"
#include "sync_fixture.h"

namespace quorbin::testing {
namespace {

void* Refuse(std::size_t) {
  return nullptr;
}
void* RefuseRealloc(void*, std::size_t) {
  return nullptr;
}
char* RefuseCopy(const char*) {
  return nullptr;
}

class LibxmlWithoutMemory {
 public:
  LibxmlWithoutMemory() {
    xmlMemGet(&free_, &malloc_, &realloc_, &strdup_);
    xmlMemSetup(free_, &Refuse, &RefuseRealloc, &RefuseCopy);
  }
  ~LibxmlWithoutMemory() { xmlMemSetup(free_, malloc_, realloc_, strdup_); }

 private:
  xmlFreeFunc free_ = nullptr;
  xmlMallocFunc malloc_ = nullptr;
  xmlReallocFunc realloc_ = nullptr;
  xmlStrdupFunc strdup_ = nullptr;
};

// A document type declaration sends the document to libxml2.
const std::string kInvoice = "<!DOCTYPE NFe>" + BareInvoice("12345678000190", "00001234");

TEST(InvoiceFactsResourcesTest, AParserWithoutMemoryGivesNoVerdictOnTheFile) {
  XmlDocument scratch;
  InvoiceFileFacts starved;
  {
    LibxmlWithoutMemory no_memory;
    starved = ExamineInvoiceBytes(kInvoice, scratch);
  }
  EXPECT_EQ(starved.shape, InvoiceFileFacts::Shape::kNotLoaded);
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
    EXPECT_EQ(cache.Examine(folder, "a.xml", *stamp).shape, InvoiceFileFacts::Shape::kNotLoaded);
  }
  cache.EndSearch();
  EXPECT_EQ(cache.size(), 0u);

  cache.BeginSearch();
  EXPECT_EQ(cache.Examine(folder, "a.xml", *stamp).cnf, "00001234");
  cache.EndSearch();
  EXPECT_EQ(cache.size(), 1u);
}

}  // namespace
}  // namespace quorbin::testing
