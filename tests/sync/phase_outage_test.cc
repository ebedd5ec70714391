// The phases when the database server goes away in their middle and stays away:
// the row whose update meets the lost connection is handled like any failed row,
// then the phase writes one line and the pass ends, so that no row is uploaded
// while none can be marked. The next pass, once the server is back, uploads the
// rest: only the row in flight is sent twice. On Firebird and PostgreSQL, whose
// servers these tests stop and start; they run alone (RUN_SERIAL) and always
// leave the server running.
#include <gtest/gtest.h>
#include <unistd.h>

#include <map>

#include "phase_fixture.h"
#include "sync/closing_phase.h"
#include "sync/invoice_phase.h"
#include "sync/phase_end.h"
#include "testing/firebird_fixture.h"
#include "testing/postgres_fixture.h"

namespace quorbin::testing {
namespace {

namespace fs = std::filesystem;

// Starts the server again when the test ends, however it ends.
struct ServerLeftRunning {
  explicit ServerLeftRunning(Backend backend) : backend(backend) {}
  ~ServerLeftRunning() { backend == Backend::kFirebird ? StartFirebird() : StartPostgres(); }
  Backend backend;
};

class PhaseOutageTest : public PhaseTest {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "stopping the database server needs root";
    PhaseTest::SetUp();
  }

  void StopServer() {
    const CommandResult stopped = backend() == Backend::kFirebird ? StopFirebird() : StopPostgres();
    EXPECT_EQ(stopped.exit_code, 0) << stopped.output;
  }
  void StartServer() {
    const CommandResult started =
        backend() == Backend::kFirebird ? StartFirebird() : StartPostgres();
    ASSERT_EQ(started.exit_code, 0) << started.output;
  }

  // How many requests the server received whose body holds each text.
  std::map<std::string, int> Received(const std::vector<std::string>& texts) const {
    std::map<std::string, int> counts;
    for (const std::string& body : RequestBodies()) {
      for (const std::string& text : texts) counts[text] += body.find(text) != std::string::npos;
    }
    return counts;
  }
};

// The row in flight, the second of three, is one uploaded or one given up (its
// file missing or unusable) when the server goes away before it.
TEST_P(PhaseOutageTest, InvoicePhaseEndsAfterTheRowWhoseUpdateLostTheDatabase) {
  const ServerLeftRunning left_running(backend());
  struct InFlight {
    const char* name;
    int offline;
    bool file_missing;
    bool file_usable;
  };
  const InFlight cases[] = {{"uploaded", 0, false, true},
                            {"given up, its file missing", 2, true, false},
                            {"given up, its file unusable", 0, false, false}};
  int base = 910;
  for (const InFlight& c : cases) {
    SCOPED_TRACE(c.name);
    base += 10;
    const int before = base + 1, in_flight = base + 2, after = base + 3;
    database->Execute("DELETE FROM CUPOM;");
    std::vector<std::string> ids;
    for (const int number : {before, in_flight, after}) {
      const bool flying = number == in_flight;
      if (!flying || !c.file_missing) {
        PutInvoice("Transmitidas/202205/" + InvoiceKey(number) + "-nfe.xml",
                   InvoiceDocument(number, !flying || c.file_usable));
      }
      const std::string missing_key = "nota" + std::to_string(number) + ".xml";
      InsertRow(1000 - number, number, flying ? c.offline : 0, 0,
                flying && c.file_missing ? missing_key : InvoiceKey(number));
      ids.push_back("NFe" + InvoiceKey(number));
    }
    std::vector<std::string> in_flight_lines;
    if (c.file_missing) {
      const std::string key = "nota" + std::to_string(in_flight) + ".xml";
      in_flight_lines = {"Arquivo encontrado em: " + key,
                         "Arquivo não encontrado: " + key + ". Numero da nota: " +
                             std::to_string(in_flight) + ". A nota não será enviada.",
                         kImportFailed + "*"};
    } else {
      in_flight_lines = {"Caminho: " + Direct("Transmitidas", in_flight),
                         "Arquivo encontrado em: " + Direct("Transmitidas", in_flight)};
      const std::vector<std::string> outcome =
          c.file_usable
              ? std::vector<std::string>{"Nota numero " + std::to_string(in_flight) + " enviada.",
                                         kImportFailed + "*"}
              : std::vector<std::string>{kUnhealthy, kImportFailed + "*", kImportFailed + "*"};
      in_flight_lines.insert(in_flight_lines.end(), outcome.begin(), outcome.end());
    }
    // Before the second row.
    int rows = 0;
    pump.on_pending = [&] {
      if (++rows == 2) StopServer();
    };
    const std::size_t lines_before = messages().size();

    pass().Run();

    std::vector<std::string> expected = {"Caminho: " + Direct("Transmitidas", before),
                                         "Arquivo encontrado em: " + Direct("Transmitidas", before),
                                         "Nota numero " + std::to_string(before) + " enviada."};
    expected.insert(expected.end(), in_flight_lines.begin(), in_flight_lines.end());
    expected.push_back(kDatabaseLost);
    const std::vector<std::string> all = messages();
    ExpectMessages({all.begin() + static_cast<long>(lines_before), all.end()}, expected);
    const int uploads = c.file_usable ? 1 : 0;
    EXPECT_EQ(Received(ids),
              (std::map<std::string, int>{{ids[0], 1}, {ids[1], uploads}, {ids[2], 0}}));
    EXPECT_FALSE(fs::exists(error_folder() / (InvoiceKey(after) + "-nfe.xml")));

    StartServer();
    pump.on_pending = nullptr;
    pass().Run();

    // Only the row in flight may have been sent twice; the rows given up are
    // given up now.
    EXPECT_EQ(Received(ids),
              (std::map<std::string, int>{{ids[0], 1}, {ids[1], 2 * uploads}, {ids[2], 1}}));
    for (const int number : {before, in_flight, after}) {
      EXPECT_EQ(WebEx(1000 - number), "1") << number;
    }
  }
}

// The closing phase alike; the pass ends with it, before the invoices.
TEST_P(PhaseOutageTest, ClosingPhaseEndsAfterTheRowWhoseUpdateLostTheDatabaseAndThePassWithIt) {
  const ServerLeftRunning left_running(backend());
  const std::vector<std::string> closings = {"\"f\":1", "\"f\":2", "\"f\":3"};
  for (int codigo = 1; codigo <= 3; ++codigo) {
    database->Execute("INSERT INTO FECHAMENTOS VALUES (" + std::to_string(codigo) +
                      ", '{\"f\":" + std::to_string(codigo) + "}', 0, NULL);");
  }
  PutInvoice("Transmitidas/202205/" + InvoiceKey(905) + "-nfe.xml", InvoiceDocument(905));
  InsertRow(1, 905, 0, 0, InvoiceKey(905));
  const std::string invoice = "NFe" + InvoiceKey(905);
  // In the pause after the first closing.
  int pauses = 0;
  pump.on_sleep = [&] {
    if (++pauses == 1) StopServer();
  };

  EXPECT_NO_THROW(pass().Run());

  ExpectMessages(messages(), {"Fechamento numero 1 enviado.", "Fechamento numero 2 enviado.",
                              "Erro ao enviar fechamento: *", kDatabaseLost});
  std::vector<std::string> sent = closings;
  sent.push_back(invoice);
  EXPECT_EQ(Received(sent),
            (std::map<std::string, int>{{sent[0], 1}, {sent[1], 1}, {sent[2], 0}, {invoice, 0}}));

  StartServer();
  pass().Run();

  EXPECT_EQ(Received(sent),
            (std::map<std::string, int>{{sent[0], 1}, {sent[1], 2}, {sent[2], 1}, {invoice, 1}}));
  EXPECT_EQ(database->Scalar("SELECT COUNT(*) FROM FECHAMENTOS WHERE WEB_EX = 1"), "3");
  EXPECT_EQ(WebEx(1), "1");
}

INSTANTIATE_TEST_SUITE_P(Servers, PhaseOutageTest,
                         ::testing::Values(Backend::kFirebird, Backend::kOdbcPostgres),
                         BackendParamName);

}  // namespace
}  // namespace quorbin::testing
