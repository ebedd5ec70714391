#include "sync/invoice_payload.h"

#include <stdlib.h>
#include <time.h>

#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "support/failure.h"
#include "sync/iso8601_local.h"
#include "sync/percent_encoding.h"
#include "sync/xml_document.h"
#include "sync_fixture.h"
#include "testing/temp_dir.h"

namespace quorbin::testing {
namespace {

TEST(PercentEncodeTest, Table) {
  struct Case {
    std::string text;
    std::string encoded;
  };
  const Case cases[] = {
      {"", ""},
      {"AZaz09!$&'()+,-./:;=?@_~", "AZaz09!$&'()+,-./:;=?@_~"},
      {"\x7F", "\x7F"},
      {" ", "%20"},
      {"\t\r\n", "%09%0D%0A"},
      {"*<>#%\"{}|\\^[]`", "%2A%3C%3E%23%25%22%7B%7D%7C%5C%5E%5B%5D%60"},
      {"\xC3\xA7", "%C3%A7"},                        // ç
      {"\xC3\x83\xC2\xA7", "%C3%83%C2%A7"},          // Ã§
      {"\xE2\x82\xAC", "%E2%82%AC"},                 // €
      {"\xF0\x9F\x98\x80", "%F0%9F%98%80"},          // U+1F600
      {"\xED\xA0\xBD\xED\xB8\x80", "%F0%9F%98%80"},  // the same as a surrogate pair
      {std::string("a\0b", 3), "a%00b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(PercentEncode(c.text), c.encoded);
  }
  for (const std::string lone :
       {"\xED\xA0\xBD", "a\xED\xA0\xBDz", "\xED\xB8\x80", "\xED\xB8\x80\xED\xA0\xBD"}) {
    EXPECT_THROW(PercentEncode(lone), Failure);
  }
}

TEST(ReadInvoiceTextTest, DecodesSplitsAndJoinsWithCrLf) {
  struct Case {
    const char* name;
    std::string bytes;
    std::string text;
  };
  const Case cases[] = {
      {"lone LF, no final break", "a\nb", "a\r\nb\r\n"},
      {"CR LF, lone CR, LF CR", "a\r\nb\rc\n\rd\r\n", "a\r\nb\r\nc\r\n\r\nd\r\n"},
      {"empty", "", ""},
      {"ANSI without a mark", "\xC3\xA7", "\xC3\x83\xC2\xA7\r\n"},
      {"UTF-8 mark", "\xEF\xBB\xBF\xC3\xA7", "\xC3\xA7\r\n"},
      {"UTF-16 LE mark",
       std::string("\xFF\xFE"
                   "a\0\n\0\xE7\0",
                   8),
       "a\r\n\xC3\xA7\r\n"},
      {"UTF-16 BE mark", std::string("\xFE\xFF\0a\0\r", 6), "a\r\n"},
      {"NUL ends the text", std::string("ab\0c\nd", 6), "ab\r\n"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(dir / "n.xml", c.bytes);
    EXPECT_EQ(ReadInvoiceText(dir / "n.xml"), c.text);
  }
  EXPECT_THROW(ReadInvoiceText(dir / "absent.xml"), Failure);
}

// The payload encodes plain ASCII in one pass: the same bytes as the steps.
TEST(EncodedInvoiceTextTest, OnePassGivesWhatTheStepsGive) {
  std::vector<std::string> inputs = {"",
                                     "a",
                                     "\r",
                                     "\n",
                                     "\r\n",
                                     "\n\r",
                                     "a\r\nb\rc\n\rd",
                                     "<a b=\"1\">x&amp;y</a>",
                                     "ends\r",
                                     "\t \x7F*<>#%\"{}|\\^[]`",
                                     std::string("nul\0after", 9),
                                     "\xEF\xBB\xBF<a/>",
                                     "\xC3\xA7\n"};
  std::mt19937 random(7);
  const std::string alphabet = "ab<>=\"/ \r\n\t%&#\x01\x7F";
  for (int i = 0; i < 200; ++i) {
    std::string text(random() % 40, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    inputs.push_back(text);
  }
  for (const std::string& bytes : inputs) {
    EXPECT_EQ(EncodedInvoiceText(bytes), PercentEncode(InvoiceTextOf(bytes))) << bytes;
  }
}

#ifdef _WIN32
// Windows keeps one zone for the machine. Wine takes it from TZ when the process
// starts (scripts/test-windows sets the terminals' zone): a test can only use
// that one.
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    const char* machine = getenv("TZ");
    available_ = machine && std::string(machine) == zone;
  }
  bool available() const { return available_; }
  // Windows keeps a zone's rules by year only from the year its records start,
  // without local mean time (1899), and Wine knows only the current rules: the
  // rules of past years are tested with hand-made zones (platform tests).
  bool knows_past_rules() const { return false; }

 private:
  bool available_ = false;
};
#else
// Sets TZ for one test and restores the machine's zone after it.
class TimeZone {
 public:
  explicit TimeZone(const char* zone) {
    if (const char* old = getenv("TZ")) previous_ = old;
    setenv("TZ", zone, 1);
    tzset();
  }
  ~TimeZone() {
    if (previous_) {
      setenv("TZ", previous_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  bool available() const { return true; }
  bool knows_past_rules() const { return true; }

 private:
  std::optional<std::string> previous_;
};
#endif

DateTime At(int year, int month, int day, int hour, int minute, int second = 0, int ms = 0) {
  return DateTime::FromCivil({year, month, day, hour, minute, second, ms});
}

TEST(FormatIso8601LocalTest, OffsetOfTheLocalZoneAtThatTime) {
  struct Case {
    const char* zone;
    DateTime time;
    const char* text;         // nullptr: the local time does not exist
    bool past_rules = false;  // the zone's rules of that year differ from today's
  };
  const Case cases[] = {
      {"UTC", At(2022, 5, 10, 14, 30), "2022-05-10T14:30:00.000Z"},
      {"America/Sao_Paulo", At(2022, 5, 10, 14, 30), "2022-05-10T14:30:00.000-03:00"},
      {"America/Sao_Paulo", At(2018, 12, 1, 9, 5, 7, 89), "2018-12-01T09:05:07.089-02:00", true},
      {"America/Sao_Paulo", At(2018, 11, 4, 0, 30), nullptr, true},
      {"America/Sao_Paulo", At(2019, 2, 16, 23, 30), "2019-02-16T23:30:00.000-03:00", true},
      {"America/Sao_Paulo", At(2019, 2, 16, 22, 59), "2019-02-16T22:59:00.000-02:00", true},
      {"America/Sao_Paulo", DateTime{}, "1899-12-30T00:00:00.000-03:06", true},
      {"Asia/Kolkata", At(2022, 5, 10, 14, 30), "2022-05-10T14:30:00.000+05:30"},
      {"Europe/Berlin", At(2021, 10, 31, 2, 30), "2021-10-31T02:30:00.000+01:00"},
      {"Europe/Berlin", At(2021, 3, 28, 2, 30), nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.zone) + " " + (c.text ? c.text : "skipped"));
    TimeZone zone(c.zone);
    if (!zone.available() || (c.past_rules && !zone.knows_past_rules())) continue;
    if (c.text) {
      EXPECT_EQ(FormatIso8601Local(c.time), c.text);
    } else {
      EXPECT_THROW(FormatIso8601Local(c.time), Failure);
    }
  }
}

TEST(FormatIso8601LocalTest, RoundsToTheNearestMillisecond) {
  TimeZone zone("America/Sao_Paulo");
  if (!zone.available()) GTEST_SKIP() << "the machine is in another zone";
  const double days = At(2022, 5, 10, 14, 30, 59).ToDays() + 0.9996 / 86400;
  EXPECT_EQ(FormatIso8601Local(DateTime::FromDays(days)), "2022-05-10T14:31:00.000-03:00");
}

class InvoicePayloadTest : public ::testing::Test {
 protected:
  std::string Build(const std::string& file_text, const std::string& cnpj = "12345678000190") {
    WriteBytes(dir / "nota.xml", file_text);
    const InvoiceRow row =
        ReadableInvoiceRow(0, 0, DateTime::FromCivil({2022, 5, 10, 14, 30}), "chave");
    return BuildInvoicePayload(row, dir / "nota.xml", cnpj);
  }
  void SetUp() override {
    if (!zone.available()) GTEST_SKIP() << "the machine is not in the zone America/Sao_Paulo";
  }

  TimeZone zone{"America/Sao_Paulo"};
  TempDir dir;
};

TEST_F(InvoicePayloadTest, ExactBytesOfAFixture) {
  const std::string file =
      "<?xml version=\"1.0\"?>\n<nfeProc><NFe><infNFe Id=\"NFe35\xC3\xA7\">"
      "<ide><cNF>1</cNF></ide></infNFe></NFe></nfeProc>";
  EXPECT_EQ(Build(file),
            "{\"xml\":\"%3C?xml%20version=%221.0%22?%3E%0D%0A%3CnfeProc%3E%3CNFe%3E%3CinfNFe%20"
            "Id=%22NFe35%C3%83%C2%A7%22%3E%3Cide%3E%3CcNF%3E1%3C/cNF%3E%3C/ide%3E%3C/infNFe%3E%3C/"
            "NFe%3E%3C/nfeProc%3E%0D%0A\",\"emitente\":\"12345678000190\",\"data\":\"2022-05-10T14:"
            "30:00.000-03:00\",\"nf_id\":\"NFe35\xC3\xA7\"}");
  EXPECT_EQ(Build("<NFe><infNFe Id='a'/></NFe>", ""),
            "{\"xml\":\"%3CNFe%3E%3CinfNFe%20Id='a'/%3E%3C/NFe%3E%0D%0A\",\"emitente\":\"\","
            "\"data\":\"2022-05-10T14:30:00.000-03:00\",\"nf_id\":\"a\"}");
}

std::string IdOf(const std::string& payload) {
  const auto start = payload.find("\"nf_id\":\"") + 9;
  return payload.substr(start, payload.size() - start - 2);
}

TEST_F(InvoicePayloadTest, IdOfTheWrappedOrTheBareInvoice) {
  EXPECT_EQ(IdOf(Build(WrappedInvoice("1", "2", "NFe123"))), "NFe123");
  EXPECT_EQ(IdOf(Build(BareInvoice("1", "2", "NFe123"))), "NFe123");
  EXPECT_EQ(IdOf(Build(BareInvoice("1", "2", ""))), "");
  EXPECT_EQ(IdOf(Build("<NFe><infNFe Id='a\"b\\c'/></NFe>")), "a\\\"b\\\\c");
  EXPECT_EQ(IdOf(Build("<NFe><infNFe Id='a&#9;b&#10;'/></NFe>")), "a\\u0009b\\u000A");
  // The second try looks for NFe at the root, where a wrapped document has none.
  EXPECT_THROW(Build("<nfeProc><NFe><infNFe/></NFe></nfeProc>"), Failure);
  EXPECT_THROW(Build("<NFe><infNFe id='x'/></NFe>"), Failure);
  EXPECT_THROW(Build("<nfeProc><NFe><infNFe Id='x'></NFe></nfeProc>"), XmlLoadFailure);
}

TEST_F(InvoicePayloadTest, FailsOnALoneSurrogateAndOnATimeThatDoesNotExist) {
  // UTF-16 with a high surrogate before "<": loads as XML? The text cannot be sent.
  static const char kLone[] = "\xFF\xFE<\0e\0 \0I\0d\0=\0'\0x\0'\0/\0>\0\x3D\xD8";
  WriteBytes(dir / "lone.xml", std::string(kLone, sizeof kLone - 1));
  EXPECT_THROW(PercentEncode(ReadInvoiceText(dir / "lone.xml")), Failure);

  if (!zone.knows_past_rules()) return;
  WriteBytes(dir / "nota.xml", BareInvoice("1", "2"));
  const InvoiceRow skipped =
      ReadableInvoiceRow(0, 0, DateTime::FromCivil({2018, 11, 4, 0, 30}), "chave");
  EXPECT_THROW(BuildInvoicePayload(skipped, dir / "nota.xml", ""), Failure);
}

}  // namespace
}  // namespace quorbin::testing
