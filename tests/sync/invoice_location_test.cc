#include "sync/invoice_location.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "name_filling_documents.h"
#include "sync/emitter_cnpj.h"
#include "sync/xml_file_list.h"
#include "sync_fixture.h"
#include "testing/fake_query.h"
#include "testing/wine.h"

namespace quorbin::testing {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCnpj = "12345678000190";
constexpr const char* kKey = "35220512345678000190650010000012341000012345";

DateTime At(int year, int month, int day, int hour = 0, int minute = 0) {
  return DateTime::FromCivil({year, month, day, hour, minute});
}

InvoiceRow MayRow(int offline = 0, int cancelado = 0, std::int32_t number = 1234) {
  return ReadableInvoiceRow(offline, cancelado, At(2022, 5, 10, 14, 30), kKey, number);
}

class InvoiceLocationTest : public ::testing::Test {
 protected:
  std::string Locate(const InvoiceRow& row) {
    return locator.LocateInvoiceFile(row, pass_emitter_cnpj);
  }

  std::vector<std::string> SearchLines(const std::string& padded = "00001234") const {
    return {"Nota não encontrada, tentando procurar pelas pastas... " + std::string(kCnpj) + ". " +
                padded,
            "Procurando na Validadas...", "Contigencias...", "Transmitidas...", "Canceladas..."};
  }

  SyncFixture f;
  // The emitter is still read from the database, by every search.
  FakeQuery emitente{"fbquery2", {FakeRow{{"cnpj", TextValue(kCnpj)}}}};
  InvoiceLocator locator{f.log, f.pump, [this] { return ReadEmitterCnpj(emitente); }};
  std::string pass_emitter_cnpj;
};

TEST_F(InvoiceLocationTest, DirectPathFollowsOfflineAndCancelado) {
  struct Case {
    const char* name;
    InvoiceRow row;
    std::string relative;
  };
  const Case cases[] = {
      {"transmitted", MayRow(0, 0), "Transmitidas/202205"},
      {"cancelado 3", MayRow(0, 3), "Transmitidas/202205"},
      {"cancelled", MayRow(0, 1), "Canceladas/202205"},
      {"contingency", MayRow(1, 0), "Contingencias/202205"},
      {"contingency cancelled", MayRow(1, 1), "Contingencias/202205"},
      {"NULL date and time", ReadableInvoiceRow(0, 0, DateTime{}, kKey), "Transmitidas/189912"},
      {"time of day ignored", ReadableInvoiceRow(0, 0, At(2022, 12, 31, 23, 59), kKey),
       "Transmitidas/202212"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = f.Put(c.relative + "/" + kKey + "-nfe.xml", "not even XML");
    const std::size_t before = f.messages().size();
    EXPECT_EQ(Locate(c.row), file.string());
    const auto lines = f.messages();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + before, lines.end()),
              (std::vector<std::string>{"Caminho: " + file.string(),
                                        "Arquivo encontrado em: " + file.string()}));
    fs::remove(file);
  }
  EXPECT_TRUE(emitente.statements().empty());
  EXPECT_TRUE(f.pump.trims.empty());
}

TEST_F(InvoiceLocationTest, OfflineTwoTakesTheKeyAsPathUntested) {
  EXPECT_EQ(Locate(ReadableInvoiceRow(2, 1, At(2022, 5, 10), "X1", 1)), "X1");
  EXPECT_EQ(f.messages(), std::vector<std::string>{"Arquivo encontrado em: X1"});

  const std::string windows = "C:\\Outra\\nota.xml";
  const std::string resolved = (f.drive_c() / "Outra" / "nota.xml").make_preferred().string();
  EXPECT_EQ(Locate(ReadableInvoiceRow(2, 0, DateTime{}, windows, 1)), resolved);
  EXPECT_TRUE(emitente.statements().empty());
}

TEST_F(InvoiceLocationTest, FolderAtTheDirectPathDoesNotCount) {
  fs::create_directories(f.nfce() / "Transmitidas" / "202205" / (std::string(kKey) + "-nfe.xml"));
  EXPECT_EQ(Locate(MayRow()), "");
  EXPECT_EQ(emitente.statements(), std::vector<std::string>{"select cnpj from emitente"});
}

TEST_F(InvoiceLocationTest, SearchLogsItsRootsAndTheLaterRootWins) {
  f.Put("Validadas/202205/a.xml", WrappedInvoice(kCnpj, "00001234"));
  f.Put("Validadas/202205/b.xml", WrappedInvoice(kCnpj, "9"));
  const fs::path later = f.Put("Transmitidas/202206/other-name.xml", BareInvoice(kCnpj, "1234"));
  // Not a search root: only the direct path looks there.
  f.Put("Contingencias/202205/c.xml", WrappedInvoice(kCnpj, "1234"));

  EXPECT_EQ(Locate(MayRow()), later.string());
  std::vector<std::string> expected{
      "Caminho: " + f.At("Transmitidas/202205/" + std::string(kKey) + "-nfe.xml").string()};
  for (auto& line : SearchLines()) expected.push_back(line);
  expected.push_back("Arquivo encontrado em: " + later.string());
  EXPECT_EQ(f.messages(), expected);
  EXPECT_EQ(emitente.statements(), std::vector<std::string>{"select cnpj from emitente"});
  EXPECT_EQ(pass_emitter_cnpj, kCnpj);
  // One trim per examined file, each after the root line of its folder.
  EXPECT_EQ(f.pump.trims, (std::vector<std::size_t>{3, 3, 5}));
}

TEST_F(InvoiceLocationTest, LastMatchInListingOrderWinsWithinOneRoot) {
  f.Put("Transmitidas/202205/a.xml", WrappedInvoice(kCnpj, "00001234"));
  const fs::path second = f.Put("Transmitidas/202205/B.xml", WrappedInvoice(kCnpj, "1234"));
  f.Put("Transmitidas/202205/b.xml.bak", WrappedInvoice(kCnpj, "1234"));
  EXPECT_EQ(locator.FindInvoiceFile(f.nfce() / "Transmitidas", kCnpj, "00001234"), second.string());
}

TEST_F(InvoiceLocationTest, NullNumberMatchesCodeZero) {
  const fs::path file = f.Put("Canceladas/x.xml", WrappedInvoice(kCnpj, "0"));
  // NULL reads as 0 (invoice_row_reader_test).
  EXPECT_EQ(Locate(MayRow(0, 0, 0)), file.string());
  EXPECT_EQ(f.messages().at(1), SearchLines("00000000").front());
}

TEST_F(InvoiceLocationTest, PunctuatedEmitterCnpjKeepsItsDigitsOnly) {
  emitente.SetRows({FakeRow{{"cnpj", TextValue("12.345.678/0001-90")}}});
  f.Put("Validadas/punctuated.xml", WrappedInvoice("12.345.678/0001-90", "1234"));
  EXPECT_EQ(Locate(MayRow()), "");
  EXPECT_EQ(pass_emitter_cnpj, "12345678000190");
  const fs::path digits = f.Put("Validadas/digits.xml", WrappedInvoice(kCnpj, "1234"));
  EXPECT_EQ(Locate(MayRow()), digits.string());
}

TEST_F(InvoiceLocationTest, AlphanumericEmitterCnpjIsComparedInCapitals) {
  emitente.SetRows({FakeRow{{"cnpj", TextValue("12.abc.345/01de-35")}}});
  f.Put("Validadas/digits.xml", WrappedInvoice("1234501", "1234"));
  f.Put("Validadas/lower.xml", WrappedInvoice("12abc34501de35", "1234"));
  const fs::path whole = f.Put("Validadas/whole.xml", WrappedInvoice("12ABC34501DE35", "1234"));
  EXPECT_EQ(Locate(MayRow()), whole.string());
  EXPECT_EQ(pass_emitter_cnpj, "12ABC34501DE35");
}

TEST_F(InvoiceLocationTest, EmptyEmitterMatchesOnlyAnEmptyCnpj) {
  emitente.SetRows({});
  f.Put("Validadas/a.xml", WrappedInvoice(kCnpj, "1234"));
  const fs::path empty = f.Put("Validadas/b.xml", WrappedInvoice("", "1234"));
  EXPECT_EQ(Locate(MayRow()), empty.string());
  EXPECT_EQ(pass_emitter_cnpj, "");
}

TEST_F(InvoiceLocationTest, NothingFoundGivesEmptyPathWithoutFoundLine) {
  f.Put("Validadas/a.xml", WrappedInvoice(kCnpj, "4321"));
  EXPECT_EQ(Locate(MayRow()), "");
  const auto lines = f.messages();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.end()), SearchLines());
}

TEST_F(InvoiceLocationTest, FailingEmitterQueryLeavesTheStep) {
  emitente.FailOpenWith("Table unknown EMITENTE");
  EXPECT_THROW(Locate(MayRow()), Failure);
  EXPECT_EQ(f.messages().size(), 1u);  // only "Caminho: "
}

// The parser's own failure for `text`: reason, line and the start of that line
// (xml_document_test checks how they are laid out).
std::string ParserFailure(const std::string& text) {
  try {
    XmlDocument::Parse(text);
  } catch (const XmlLoadFailure& failure) {
    return failure.what();
  }
  return "loaded";
}

TEST_F(InvoiceLocationTest, UnusableFiles) {
  const std::string kBroken =
      "<nfeProc>\n  <NFe>\n<infNFe>there is no end tag for this element</NFe>";
  if (!RunningUnderWine()) {  // Wine's MSXML tells no line
    EXPECT_TRUE(ParserFailure(kBroken).ends_with(
        "\r\nLine: 3\r\n<infNFe>there is no end tag for this ele"));
  }
  const std::string ns = " xmlns=\"http://www.portalfiscal.inf.br/nfe\"";
  auto invoice = [&](const std::string& content) {
    return "<nfeProc" + ns + "><NFe><infNFe Id=\"x\">" + content + "</infNFe></NFe></nfeProc>";
  };
  const std::string emit = "<emit><CNPJ>" + std::string(kCnpj) + "</CNPJ></emit>";
  struct Case {
    const char* name;
    std::string text;
    std::string line;  // expected log line, empty for none
    bool trimmed;
  };
  const Case cases[] = {
      {"no invoice root", "<outro><NFe/></outro>", "", false},
      {"nfeProc without NFe and no NFe root", "<nfeProc" + ns + "><protNFe/></nfeProc>", "", false},
      {"NFe without infNFe", "<NFe" + ns + "><outro/></NFe>",
       "Erro ao pesquisar arquivos: Element 'infNFe' not found.", false},
      {"infNFe without ide", invoice(emit), "", true},
      {"emit missing", invoice("<ide><cNF>1234</cNF></ide>"),
       "Erro ao pesquisar arquivos: Element 'emit' not found.", false},
      {"CNPJ missing", invoice("<ide><cNF>1234</cNF></ide><emit/>"),
       "Erro ao pesquisar arquivos: Element 'CNPJ' not found.", false},
      {"cNF missing, other emitter", invoice("<ide/><emit><CNPJ>1</CNPJ></emit>"),
       "Erro ao pesquisar arquivos: Element 'cNF' not found.", false},
      {"CNPJ mixed", invoice("<ide><cNF>1</cNF></ide><emit><CNPJ>1<b/>2</CNPJ></emit>"),
       "Erro ao pesquisar arquivos: Element 'CNPJ' does not hold text only.", false},
      {"cNF with a child", invoice("<ide><cNF><n>1234</n></cNF></ide>" + emit),
       "Erro ao pesquisar arquivos: Element 'cNF' does not hold text only.", false},
      {"cNF not an integer", invoice("<ide><cNF>12a</cNF></ide>" + emit),
       "Erro ao pesquisar arquivos: '12a' is not a valid integer value", false},
      {"cNF empty", invoice("<ide><cNF>  </cNF></ide>" + emit),
       "Erro ao pesquisar arquivos: '' is not a valid integer value", false},
      {"other CNPJ, cNF not converted",
       invoice("<ide><cNF>x</cNF></ide><emit><CNPJ>1</CNPJ></emit>"), "", true},
      {"not well-formed", kBroken, "Pulando arquivo defeituoso..." + ParserFailure(kBroken) + ":",
       false},
      {"empty file", "", "Pulando arquivo defeituoso..." + ParserFailure("") + ":", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = f.Put("Validadas/file.xml", c.text);
    const std::size_t lines_before = f.messages().size();
    const std::size_t trims_before = f.pump.trims.size();
    EXPECT_EQ(locator.FindInvoiceFile(f.nfce() / "Validadas", kCnpj, "00001234"), "");
    const auto lines = f.messages();
    std::vector<std::string> expected;
    if (!c.line.empty()) expected.push_back(c.line.back() == ':' ? c.line + file.string() : c.line);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + lines_before, lines.end()), expected);
    EXPECT_EQ(f.pump.trims.size() - trims_before, c.trimmed ? 1u : 0u);
  }
}

TEST_F(InvoiceLocationTest, MissingRootsWriteOnlyTheirLines) {
  fs::remove_all(f.nfce());
  EXPECT_EQ(Locate(MayRow()), "");
  EXPECT_EQ(f.messages().size(), 6u);
  EXPECT_TRUE(f.pump.trims.empty());
}

TEST_F(InvoiceLocationTest, RepeatedSearchIsObservablyAFreshOne) {
  f.Put("Validadas/202205/a.xml", WrappedInvoice(kCnpj, "1234"));
  f.Put("Validadas/202205/broken.xml", "<nfeProc>\n<NFe>");
  f.Put("Validadas/202205/failed.xml", "<NFe/>");
  // A code longer than the memory of a file holds in place.
  f.Put("Validadas/202205/z.xml", WrappedInvoice(kCnpj, "000000000000001234"));
  f.Put("Contigencias/202201/other.xml", WrappedInvoice("999", "x"));
  const fs::path changing = f.Put("Transmitidas/202205/b.xml", WrappedInvoice(kCnpj, "4321"));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));  // old enough to be kept

  auto search = [&] {
    const std::size_t lines_before = f.messages().size();
    const std::size_t trims_before = f.pump.trims.size();
    const std::string found = Locate(MayRow());
    const auto lines = f.messages();
    std::vector<std::string> tail(lines.begin() + lines_before, lines.end());
    std::vector<std::size_t> trims;
    for (std::size_t i = trims_before; i < f.pump.trims.size(); ++i) {
      trims.push_back(f.pump.trims[i] - lines_before);
    }
    return std::make_tuple(found, tail, trims);
  };
  const auto first = search();
  EXPECT_EQ(search(), first);
  EXPECT_EQ(std::get<0>(first), f.At("Validadas/202205/z.xml").string());

  // The same size and a new content: parsed again, and now the later root wins.
  f.Put("Transmitidas/202205/b.xml", WrappedInvoice(kCnpj, "1234"));
  EXPECT_EQ(std::get<0>(search()), changing.string());
  // Replaced by another file under the same name.
  const fs::path replacement = f.dir / "replacement.xml";
  WriteBytes(replacement, "<nfeProc><NFe>");
  fs::rename(replacement, changing);
  const auto broken = search();
  EXPECT_EQ(std::get<0>(broken), f.At("Validadas/202205/z.xml").string());
  EXPECT_NE(std::get<1>(broken), std::get<1>(first));
  EXPECT_EQ(std::get<1>(search()), std::get<1>(broken));
}

// Files that would fill what a parser keeps of the names it meets (see
// NameFillingDocuments), in the first root, must not spoil the parse of the
// invoice, which has a byte-order mark and lies in the last root.
TEST_F(InvoiceLocationTest, OddFilesEarlierInTheSearchDoNotSpoilTheInvoice) {
  const std::vector<std::string> odd = NameFillingDocuments();
  for (std::size_t i = 0; i < odd.size(); ++i) {
    // 202301 and 202302 in turn, the short ones last
    const std::string month = i < 10 && i % 2 == 0 ? "202301" : "202302";
    f.Put("Validadas/" + month + "/odd" + std::to_string(i + 10) + ".xml", odd[i]);
  }
  const fs::path invoice =
      f.Put("Canceladas/202305/nota.xml", "\xEF\xBB\xBF" + WrappedInvoice(kCnpj, "00000811"));
  const InvoiceRow row = ReadableInvoiceRow(0, 0, At(2023, 5, 2), kKey, 811);
  EXPECT_EQ(Locate(row), invoice.string());
  for (const std::string& line : f.messages()) {
    EXPECT_FALSE(line.starts_with("Pulando") || line.starts_with("Erro")) << line;
  }
}

TEST(ListXmlFilesTest, ListsInNameOrderWithoutCaseAndCutsLinkLoops) {
  TempDir dir;
  const fs::path root = dir / "root";
  fs::create_directories(root / "sub");
  for (const char* name : {"b.xml", "A.XML", "a.xml", "c.Xml", "d.xml.bak", "noext", ".xml"}) {
    WriteBytes(root / name, "x");
  }
  WriteBytes(root / "sub" / "z.xml", "x");
  const std::string r = root.string() + static_cast<char>(fs::path::preferred_separator);
  std::error_code no_links;
  fs::create_directory_symlink(root, root / "sub" / "loop", no_links);
  if (no_links) {
    // Wine makes no symbolic links: the order alone, where A.XML and a.xml are
    // one file.
    ASSERT_TRUE(RunningUnderWine()) << no_links.message();
    EXPECT_EQ(ListXmlFiles(root),
              (std::vector<std::string>{r + ".xml", r + "A.XML", r + "b.xml", r + "c.Xml",
                                        r + (fs::path("sub") / "z.xml").string()}));
    return;
  }
  fs::create_directory_symlink(root / "sub", root / "link");
  fs::create_symlink(root / "missing.xml", root / "dangling.xml");

  EXPECT_EQ(
      ListXmlFiles(root),
      (std::vector<std::string>{r + ".xml", r + "A.XML", r + "a.xml", r + "b.xml", r + "c.Xml",
                                r + "dangling.xml", r + (fs::path("link") / "z.xml").string()}));
  EXPECT_EQ(ListXmlFiles(root / "absent"), std::vector<std::string>{});
}

}  // namespace
}  // namespace quorbin::testing

namespace quorbin::testing {
namespace {

TEST(InvoiceFactsCacheTest, TrustsAFileOnlyWhileItsStampHolds) {
  TempDir dir;
  WriteBytes(dir / "a.xml", WrappedInvoice("111", "1"));
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));  // settled: worth keeping
  InvoiceFactsCache cache;
  platform::OpenFolder folder(dir.path());
  const auto stamp = folder.StampOfFile("a.xml");
  ASSERT_TRUE(stamp);
  cache.BeginSearch();
  EXPECT_EQ(cache.Examine(folder, "a.xml", *stamp).cnpj, "111");
  cache.EndSearch();
  EXPECT_EQ(cache.size(), 1u);

  // Rewritten with the same size: under the old stamp the kept facts answer, under
  // the new one the file is parsed again.
  WriteBytes(dir / "a.xml", WrappedInvoice("222", "1"));
  EXPECT_EQ(cache.Examine(folder, "a.xml", *stamp).cnpj, "111");
  const auto changed = folder.StampOfFile("a.xml");
  ASSERT_NE(*changed, *stamp);
  // Just written: its times might not move at the next change, so it is not kept;
  // the facts of the old stamp are forgotten by the search that no longer meets it.
  cache.BeginSearch();
  EXPECT_EQ(cache.Examine(folder, "a.xml", *changed).cnpj, "222");
  cache.EndSearch();
  EXPECT_EQ(cache.size(), 0u);

  // A search that does not meet a file forgets it.
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));
  cache.BeginSearch();
  cache.Examine(folder, "a.xml", *changed);
  cache.EndSearch();
  EXPECT_EQ(cache.size(), 1u);
  cache.BeginSearch();
  cache.EndSearch();
  EXPECT_EQ(cache.size(), 0u);
}

// The whole id is the key: on Windows it has 128 bits, and two files whose ids
// differ only above the lower 64 are two files.
TEST(InvoiceFactsCacheTest, FilesWhoseIdsDifferOnlyInTheUpperBitsAreTwoFiles) {
  TempDir dir;
  WriteBytes(dir / "a.xml", WrappedInvoice("111", "1"));
  InvoiceFactsCache cache(0);  // kept at once
  platform::OpenFolder folder(dir.path());
  const auto stamp = folder.StampOfFile("a.xml");
  ASSERT_TRUE(stamp);
  cache.BeginSearch();
  EXPECT_EQ(cache.Examine(folder, "a.xml", *stamp).cnpj, "111");
  cache.EndSearch();
  WriteBytes(dir / "a.xml", WrappedInvoice("222", "1"));
  platform::FileStamp other = *stamp;
  other.inode.high ^= 1;
  cache.BeginSearch();
  EXPECT_EQ(cache.Examine(folder, "a.xml", *stamp).cnpj, "111");
  EXPECT_EQ(cache.Examine(folder, "a.xml", other).cnpj, "222");
  cache.EndSearch();
  EXPECT_EQ(cache.size(), 2u);
}

// Kept facts are packed small; what a repeated search gets back must be exactly
// what parsing the file gives: many emitters, cNF texts of every form, failures.
TEST(InvoiceFactsCacheTest, KeptFactsAreThoseOfAFreshParse) {
  std::vector<std::string> documents;
  for (const std::string cnpj : {"11", "22", "33", "44", "55", "12ABC34501DE35", ""}) {
    for (const std::string cnf :
         {"00001234", "99999999", "1234", "0000000a", " 00001234", "123456789", "-0000001", ""}) {
      documents.push_back(WrappedInvoice(cnpj, cnf));
    }
  }
  documents.push_back("<NFe><infNFe><emit><CNPJ>1</CNPJ></emit></infNFe></NFe>");
  documents.push_back("<root/>");
  documents.push_back("<NFe><infNFe><ide/><emit><CNPJ><CNPJ>1</CNPJ></CNPJ></emit></infNFe></NFe>");
  documents.push_back("<NFe><infNFe><ide/></infNFe><x></NFe>");
  documents.push_back("");
  TempDir dir;
  for (std::size_t i = 0; i < documents.size(); ++i) {
    WriteBytes(dir / (std::to_string(i) + ".xml"), documents[i]);
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(2100));  // settled: worth keeping
  InvoiceFactsCache cache;
  platform::OpenFolder folder(dir.path());
  auto search = [&](std::size_t files) {
    cache.BeginSearch();
    for (std::size_t i = 0; i < files; ++i) {
      const std::string name = std::to_string(i) + ".xml";
      const InvoiceFileFacts kept = cache.Examine(folder, name, *folder.StampOfFile(name));
      XmlDocument scratch;
      const InvoiceFileFacts fresh = ExamineInvoiceBytes(documents[i], scratch);
      EXPECT_EQ(kept.shape, fresh.shape) << documents[i];
      EXPECT_EQ(kept.failure, fresh.failure) << documents[i];
      EXPECT_EQ(kept.cnpj, fresh.cnpj) << documents[i];
      EXPECT_EQ(kept.cnf, fresh.cnf) << documents[i];
    }
    cache.EndSearch();
  };
  search(documents.size());
  EXPECT_EQ(cache.size(), documents.size());
  search(documents.size());  // every answer from what was kept
  EXPECT_EQ(cache.size(), documents.size());
  search(documents.size() / 2);
  EXPECT_EQ(cache.size(), documents.size() / 2);
}

// On a file system that stamps whole seconds (or two, as FAT does), a file
// rewritten in place within that step keeps its times: only a file at least 2 s
// older than its stamp is known to have times that will move.
TEST(InvoiceFactsCacheTest, KeepsFactsOnlyOfFilesOlderThanAnyStampStep) {
  constexpr std::int64_t kSecond = 1'000'000'000;
  const std::int64_t whole = 1'700'000'000 * kSecond;
  const platform::FileStamp stamp{1, 2, 300, whole, whole};
  EXPECT_FALSE(OldEnoughToKeep(stamp, whole + kSecond / 2));
  EXPECT_FALSE(OldEnoughToKeep(stamp, whole + kSecond + kSecond / 2));
  EXPECT_FALSE(OldEnoughToKeep(stamp, whole + 2 * kSecond - 1));
  EXPECT_TRUE(OldEnoughToKeep(stamp, whole + 2 * kSecond));
  const platform::FileStamp changed_later{1, 2, 300, whole - 10 * kSecond, whole};
  EXPECT_FALSE(OldEnoughToKeep(changed_later, whole + kSecond));
  // FAT and exFAT keep no change time: a copy that keeps the times and the size
  // would keep the stamp, so such a file is never trusted.
  const platform::FileStamp without_change_time{1, 2, 300, whole, 0};
  EXPECT_FALSE(OldEnoughToKeep(without_change_time, whole + 3600 * kSecond));
  // Times held at the ends of the stamps' range (a file dated 1601 or 2400 on
  // Windows) are compared without overflow.
  constexpr auto kEarliest = std::numeric_limits<std::int64_t>::min();
  constexpr auto kLatest = std::numeric_limits<std::int64_t>::max();
  EXPECT_TRUE(OldEnoughToKeep(platform::FileStamp{1, 2, 300, kEarliest, kEarliest}, whole));
  EXPECT_FALSE(OldEnoughToKeep(platform::FileStamp{1, 2, 300, kLatest, kLatest}, whole));
}

}  // namespace
}  // namespace quorbin::testing

namespace quorbin::testing {
namespace {

// A search builds only the elements its facts come from; every document here
// must give the facts of the whole tree, failures included.
TEST(InvoiceFactsTest, PartOfTheTreeGivesTheFactsOfTheWholeTree) {
  const std::string ns = " xmlns=\"http://www.portalfiscal.inf.br/nfe\"";
  const std::string documents[] = {
      WrappedInvoice("111", "1"),
      "<NFe" + ns + "><infNFe><ide><cNF>7</cNF></ide><emit><CNPJ>1</CNPJ></emit></infNFe></NFe>",
      // Text split by what is left out elsewhere, comments, CDATA, references.
      "<NFe><infNFe><ide><x>a</x><cNF> 7 </cNF></ide><emit><CNPJ>1<!--c-->2</CNPJ></emit>"
      "</infNFe></NFe>",
      "<NFe><infNFe><ide><cNF>\n <![CDATA[7]]>\n</cNF></ide><emit><CNPJ><b>1</b></CNPJ></emit>"
      "</infNFe></NFe>",
      "<!DOCTYPE NFe [<!ENTITY e \"1\">]><NFe><infNFe><ide><cNF>&e;</cNF></ide><emit><CNPJ>"
      "1&#50;</CNPJ></emit></infNFe></NFe>",
      "<NFe><infNFe><ide><cNF><?pi x?></cNF></ide><emit><CNPJ/></emit></infNFe></NFe>",
      // Names in other namespaces, prefixes, and the first of two.
      "<p:NFe xmlns:p=\"urn:a\"><p:infNFe><p:ide><q:cNF xmlns:q=\"urn:b\">1</q:cNF><p:cNF>2"
      "</p:cNF></p:ide><p:emit><P:CNPJ xmlns:P=\"URN:A\">3</P:CNPJ></p:emit></p:infNFe></p:NFe>",
      "<NFe><infNFe><emit><CNPJ>1</CNPJ><CNPJ>2</CNPJ></emit><ide><cNF>3</cNF><cNF>4</cNF></ide>"
      "</infNFe></NFe>",
      // Shapes the search skips or fails on.
      "<nfeProc><other><NFe><infNFe><ide/></infNFe></NFe></other></nfeProc>",
      "<nfeProc/><!--x--><NFe><infNFe><ide/></infNFe></NFe>",
      "<nfeProc><NFe/></nfeProc>",
      "<NFe><infNFe><ide><cNF>1</cNF></ide></infNFe></NFe>",
      "<NFe><infNFe><ide/><emit><CNPJ><CNPJ>1</CNPJ></CNPJ></emit></infNFe></NFe>",
      "<NFe><infNFe><emit><CNPJ>1</CNPJ></emit></infNFe></NFe>",
      "<root><NFe><infNFe><ide/></infNFe></NFe></root>",
      // Not loaded: the failure lines come from the whole file.
      "<NFe><infNFe><ide><cNF>1</cNF></ide><emit><CNPJ>1</CNPJ></emit></infNFe><x></NFe>",
      "<NFe><infNFe><ide/></infNFe></NFe>\n<p:x/>",
  };
  XmlDocument partial;
  XmlDocument whole;
  for (const std::string& document : documents) {
    const InvoiceFileFacts a = ExamineInvoiceBytes(document, partial);
    const InvoiceFileFacts b = ExamineInvoiceBytes(document, whole, nullptr);
    EXPECT_EQ(a.shape, b.shape) << document;
    EXPECT_EQ(a.failure, b.failure) << document;
    EXPECT_EQ(a.cnpj, b.cnpj) << document;
    EXPECT_EQ(a.cnf, b.cnf) << document;
  }
}

}  // namespace
}  // namespace quorbin::testing
