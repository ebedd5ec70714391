// Hostile files in the NFC-e tree, through everything that reads one: the XML
// reading rules, the direct path and the folder search of the invoice location,
// and the invoice payload. Each file either loads or fails with an ordinary
// failure, within bounded time and memory; nothing outside the file is read
// into a document or a payload, nothing is fetched, and nothing waits forever.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "sync/invoice_location.h"
#include "sync/invoice_payload.h"
#include "sync/sync_fixture.h"
#include "sync/xml_document.h"
#include "testing/hostile_case.h"

namespace quorbin::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char* kCnpj = "12345678000190";
constexpr const char* kKey = "35220512345678000190650010000012341000012345";
constexpr const char* kSecret = "T0P-S3CR3T-CONTENT";

// A hostile file must cost no more than this, whatever its size. The costliest
// file below the size limit, a million empty elements, takes about 130 MB while
// it is examined; an invoice takes well under one.
constexpr auto kTimeBound = 20s;
constexpr std::size_t kMemoryBound = std::size_t{160} << 20;

// A TCP port on the loopback that tells whether anybody connected to it.
class Listener {
 public:
  Listener() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd_, 8);
    socklen_t length = sizeof address;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    url_ = "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/x";
  }
  ~Listener() { close(fd_); }
  const std::string& url() const { return url_; }
  bool WasContacted() const {
    const int connection = accept(fd_, nullptr, nullptr);
    if (connection < 0) return false;
    close(connection);
    return true;
  }

 private:
  int fd_;
  std::string url_;
};

// An invoice of the searched emitter whose infAdic holds `filler`.
std::string InvoiceAround(const std::string& prolog, const std::string& filler) {
  return prolog +
         "<nfeProc xmlns=\"http://www.portalfiscal.inf.br/nfe\"><NFe><infNFe Id=\"NFe1\">"
         "<ide><cNF>00001234</cNF></ide><emit><CNPJ>" +
         kCnpj + "</CNPJ></emit><infAdic>" + filler + "</infAdic></infNFe></NFe></nfeProc>";
}

std::string EntityBomb() {
  std::string doctype = "<!DOCTYPE nfeProc [<!ENTITY l0 'lollollollollollollollollol'>";
  for (int level = 1; level <= 15; ++level) {
    doctype += "<!ENTITY l" + std::to_string(level) + " '";
    for (int i = 0; i < 10; ++i) doctype += "&l" + std::to_string(level - 1) + ";";
    doctype += "'>";
  }
  return doctype + "]>";
}

std::string Utf16Le(std::string_view ascii) {
  std::string bytes = "\xFF\xFE";
  for (const char c : ascii) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

// Writes exactly `size` bytes: `head`, `unit` over and over, blanks, `tail`.
void WriteLarge(const fs::path& file, const std::string& head, const std::string& unit,
                const std::string& tail, std::size_t size) {
  std::ofstream out(file, std::ios::binary);
  out << head;
  std::string block;
  while (block.size() < (1 << 20)) block += unit;
  std::size_t written = head.size() + tail.size();
  while (written + block.size() <= size) {
    out << block;
    written += block.size();
  }
  while (written + unit.size() <= size) {
    out << unit;
    written += unit.size();
  }
  out << std::string(size - written, ' ') << tail;
}

struct HostileFile {
  const char* name;
  std::function<void(const fs::path& file)> make;
};

std::vector<HostileFile> HostileFiles(const fs::path& outside, const Listener& listener) {
  const std::string secret = (outside / "secret.txt").string();
  const std::string dtd = (outside / "types.dtd").string();
  const std::string http = listener.url();
  auto text = [](std::string bytes) {
    return [bytes](const fs::path& file) { WriteBytes(file, bytes); };
  };
  std::string deep;
  for (int i = 0; i < 100'000; ++i) deep += "<d>";
  deep += "x";
  for (int i = 0; i < 100'000; ++i) deep += "</d>";
  std::string quadratic = "<!DOCTYPE nfeProc [<!ENTITY big '" + std::string(50'000, 'q') + "'>]>";
  std::string references;
  for (int i = 0; i < 20'000; ++i) references += "&big;";

  return {
      {"external entity from a file",
       text(InvoiceAround("<!DOCTYPE nfeProc [<!ENTITY x SYSTEM '" + secret + "'>]>", "&x;"))},
      {"external entity over http",
       text(InvoiceAround("<!DOCTYPE nfeProc [<!ENTITY x SYSTEM '" + http + "'>]>", "&x;"))},
      {"external parameter entity",
       text(InvoiceAround("<!DOCTYPE nfeProc [<!ENTITY % p SYSTEM '" + http + "'> %p;]>", ""))},
      {"external document type",
       text(InvoiceAround("<!DOCTYPE nfeProc SYSTEM '" + dtd + "'>", "&inner;"))},
      {"XInclude of a file",
       text(InvoiceAround("", "<xi:include xmlns:xi='http://www.w3.org/2001/XInclude' href='" +
                                  secret + "' parse='text'/>"))},
      {"entity bomb in text", text(InvoiceAround(EntityBomb(), "&l15;"))},
      {"entity bomb in an attribute", text(InvoiceAround(EntityBomb(), "<x a='&l15;'/>"))},
      {"quadratic entity expansion", text(InvoiceAround(quadratic, references))},
      {"nesting 100,000 levels deep", text(InvoiceAround("", deep))},
      {"200 MB file",
       [](const fs::path& file) {
         WriteLarge(file, InvoiceAround("", "").substr(0, InvoiceAround("", "").find("</infAdic>")),
                    "0123456789abcdef", "</infAdic></infNFe></NFe></nfeProc>", 200u << 20);
       }},
      {"empty elements up to the size limit",
       [](const fs::path& file) {
         WriteLarge(file, "<nfeProc>", "<a/>", "</nfeProc>", kMaxXmlFileBytes);
       }},
      {"UTF-16 of odd length", text(Utf16Le("<NFe><infNFe Id='1'/></NFe>") + "<")},
      {"UTF-16 with a lone high surrogate",
       text(Utf16Le("<NFe><infNFe Id='1'>") + "\x3D\xD8" + Utf16Le("</infNFe></NFe>").substr(2))},
      {"UTF-16 with a lone low surrogate",
       text(Utf16Le("<NFe><infNFe Id='1'/></NFe>") + std::string("\x00\xDC", 2))},
      {"UTF-16 declared, UTF-8 inside",
       text("<?xml version='1.0' encoding='UTF-16'?>" + InvoiceAround("", "\xC3\xA7"))},
      {"invalid UTF-8", text(InvoiceAround("", "\xC3\x28\xFF\xFE\xED\xA0\x80"))},
      {"NUL bytes in the text", text(InvoiceAround("", std::string("a\0b", 3)))},
      {"NUL bytes only", text(std::string(4096, '\0'))},
      {"NUL before the invoice", text(std::string(1, '\0') + InvoiceAround("", ""))},
      {"symbolic link to itself", [](const fs::path& file) { fs::create_symlink(file, file); }},
      {"symbolic link loop",
       [](const fs::path& file) {
         fs::create_symlink(file.string() + ".other", file);
         fs::create_symlink(file, file.string() + ".other");
       }},
      {"folder link back to its parent",
       [](const fs::path& file) { fs::create_directory_symlink(file.parent_path(), file); }},
      {"link to an endless device",
       [](const fs::path& file) { fs::create_symlink("/dev/zero", file); }},
      {"named pipe without a writer",
       [](const fs::path& file) { ASSERT_EQ(mkfifo(file.c_str(), 0600), 0); }},
  };
}

class HostileFilesTest : public ::testing::Test {
 protected:
  HostileFilesTest() {
    WriteBytes(outside / "secret.txt", kSecret);
    WriteBytes(outside / "types.dtd", std::string("<!ENTITY inner '") + kSecret + "'>");
  }

  // The file at the direct path of `row` and in the searched root Validadas.
  fs::path DirectPath() const {
    return f.nfce() / "Transmitidas" / "202205" / (std::string(kKey) + "-nfe.xml");
  }
  fs::path SearchedFile() const { return f.nfce() / "Validadas" / "202205" / "hostile.xml"; }

  // What each reader makes of the file: empty when it behaved, else what it did.
  std::string ReadEveryWay(const fs::path& file) {
    std::string wrong;
    auto note = [&](const std::string& what) { wrong += what + "; "; };
    try {
      const XmlDocument document = XmlDocument::Load(file);
      try {
        const std::string filler =
            document.Child("nfeProc").Child("NFe").Child("infNFe").Child("infAdic").Text();
        if (filler.find(kSecret) != std::string::npos) note("the document holds the secret");
      } catch (const XmlFailure&) {
      }
    } catch (const XmlLoadFailure&) {
    } catch (const std::exception& other) {
      note(std::string("Load failed otherwise: ") + other.what());
    }

    try {
      locator.FindInvoiceFile(f.nfce() / "Validadas", kCnpj, "00001234");
    } catch (const std::exception& escaped) {
      note(std::string("the search let a failure out: ") + escaped.what());
    }
    const InvoiceRow row =
        ReadableInvoiceRow(0, 0, DateTime::FromCivil({2022, 5, 10, 14, 30}), kKey);
    try {
      std::string pass_emitter_cnpj;
      locator.LocateInvoiceFile(row, pass_emitter_cnpj);
    } catch (const std::exception& escaped) {
      note(std::string("the location let a failure out: ") + escaped.what());
    }
    // As for a row whose chave_nfce holds the path itself (offline = 2).
    try {
      const std::string payload = BuildInvoicePayload(row, file, kCnpj);
      if (payload.find(kSecret) != std::string::npos) note("the payload holds the secret");
    } catch (const Failure&) {
    } catch (const std::exception& other) {
      note(std::string("the payload failed otherwise: ") + other.what());
    }
    for (const std::string& line : f.messages()) {
      if (line.find(kSecret) != std::string::npos) note("the log holds the secret");
    }
    return wrong;
  }

  SyncFixture f;
  TempDir outside;
  InvoiceLocator locator{f.log, f.pump, [] { return std::string(kCnpj); }};
  Listener listener;
};

TEST_F(HostileFilesTest, EachLoadsOrFailsCleanlyInBoundedTimeAndMemory) {
  for (const HostileFile& hostile : HostileFiles(outside.path(), listener)) {
    SCOPED_TRACE(hostile.name);
    for (const fs::path& file : {DirectPath(), SearchedFile()}) {
      fs::remove_all(file.parent_path());
      fs::create_directories(file.parent_path());
      hostile.make(file);
    }
    HostileCase probe("hostile files", hostile.name);
    const std::string wrong = ReadEveryWay(DirectPath());
    const auto elapsed = probe.Elapsed();
    const std::size_t growth = probe.PeakGrowthBytes();
    EXPECT_EQ(wrong, "");
    EXPECT_LT(elapsed, kTimeBound);
    if (!UnderAddressSanitizer()) {
      EXPECT_LT(growth, kMemoryBound);
    }
    std::printf("%-40s %6lld ms %8zu KiB\n", hostile.name, static_cast<long long>(elapsed.count()),
                growth / 1024);
    probe.Finish(wrong.empty() && elapsed < kTimeBound &&
                 (UnderAddressSanitizer() || growth < kMemoryBound));
    for (const fs::path& file : {DirectPath(), SearchedFile()}) fs::remove_all(file.parent_path());
  }
  EXPECT_FALSE(listener.WasContacted());
}

// What is refused is refused before a byte is read, with a reason that tells
// the person reading the log what is wrong with the file.
TEST_F(HostileFilesTest, FilesThatAreNoInvoiceAreRefusedUnreadWithTheirReason) {
  struct Case {
    const char* name;
    std::function<void(const fs::path& file)> make;
    std::string search_reason;
    std::string payload_failure;  // after the path
  };
  const Case cases[] = {
      {"larger than any invoice",
       [](const fs::path& file) {
         WriteLarge(file, "<nfeProc>", "<a/>", "</nfeProc>", kMaxXmlFileBytes + 1);
       },
       "Cannot read the file: File too large.", "\" is larger than 4194304 bytes."},
      {"named pipe", [](const fs::path& file) { ASSERT_EQ(mkfifo(file.c_str(), 0600), 0); },
       "Cannot read the file: Not a regular file.", "\": it is not a regular file."},
      {"link to a device", [](const fs::path& file) { fs::create_symlink("/dev/zero", file); },
       "Cannot read the file: Not a regular file.", "\": it is not a regular file."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path file = SearchedFile();
    fs::remove_all(file.parent_path());
    fs::create_directories(file.parent_path());
    c.make(file);
    const std::size_t lines_before = f.messages().size();
    EXPECT_EQ(locator.FindInvoiceFile(f.nfce() / "Validadas", kCnpj, "00001234"), "");
    const auto lines = f.messages();
    EXPECT_EQ(std::vector<std::string>(lines.begin() + lines_before, lines.end()),
              std::vector<std::string>{"Pulando arquivo defeituoso..." + c.search_reason +
                                       "\r\nLine: 0\r\n:" + file.string()});
    const InvoiceRow row = ReadableInvoiceRow(0, 0, DateTime::FromCivil({2022, 5, 10, 14, 30}));
    for (const bool whole : {true, false}) {
      try {
        whole ? BuildInvoicePayload(row, file, kCnpj) : ReadInvoiceText(file);
        ADD_FAILURE() << "read";
      } catch (const Failure& failure) {
        const std::string message = failure.what();
        EXPECT_NE(message.find(file.string() + c.payload_failure), std::string::npos) << message;
      }
    }
  }
  // At the limit a file still loads.
  fs::remove(SearchedFile());
  WriteLarge(SearchedFile(), "<nfeProc>", "<a/>", "</nfeProc>", kMaxXmlFileBytes);
  EXPECT_TRUE(XmlDocument::Load(SearchedFile()).Child("nfeProc").Child("a").Exists());
}

// A folder where a file is expected fails as every other unreadable file does,
// with a Failure that the row's boundary catches.
TEST_F(HostileFilesTest, FolderGivenAsTheInvoicePathIsAnOrdinaryFailure) {
  const InvoiceRow row = ReadableInvoiceRow(0, 0, DateTime::FromCivil({2022, 5, 10, 14, 30}));
  fs::create_directories(outside / "folder.xml");
  EXPECT_THROW(BuildInvoicePayload(row, outside / "folder.xml", kCnpj), Failure);
  EXPECT_THROW(ReadInvoiceText(outside / "folder.xml"), Failure);
  EXPECT_THROW(XmlDocument::Load(outside / "folder.xml"), XmlLoadFailure);
}

// The parser's complaints about a broken encoding go into the load failure, not
// to the agent's standard error.
TEST_F(HostileFilesTest, BrokenEncodingsWriteNothingToStandardError) {
  ::testing::internal::CaptureStderr();
  EXPECT_THROW(XmlDocument::Parse(Utf16Le("<NFe><infNFe Id='1'>") + "\x3D\xD8" +
                                  Utf16Le("</infNFe></NFe>").substr(2)),
               XmlLoadFailure);
  EXPECT_THROW(XmlDocument::Parse("<?xml version='1.0' encoding='UTF-16'?><a>\xC3\xA7</a>"),
               XmlLoadFailure);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace quorbin::testing
