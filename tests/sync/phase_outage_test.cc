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

const std::string kImportFailed = "Erro ao importar nota, será copiada para a pasta de erros.";

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
    const CommandResult stopped =
        backend() == Backend::kFirebird ? StopFirebird() : StopPostgres();
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

TEST_P(PhaseOutageTest, InvoicePhaseEndsAfterTheRowWhoseUpdateLostTheDatabase) {
  const ServerLeftRunning left_running(backend());
  const std::vector<int> numbers = {901, 902, 903, 904};
  std::vector<std::string> ids;
  for (const int number : numbers) {
    PutInvoice("Transmitidas/202205/" + InvoiceKey(number) + "-nfe.xml", InvoiceDocument(number));
    InsertRow(1000 - number, number, 0, 0, InvoiceKey(number));
    ids.push_back("NFe" + InvoiceKey(number));
  }
  // Before the second row: its upload goes through, its update finds the server gone.
  int rows = 0;
  pump.on_pending = [&] {
    if (++rows == 2) StopServer();
  };

  pass().Run();

  ExpectMessages(messages(), {"Caminho: " + Direct("Transmitidas", 901),
                              "Arquivo encontrado em: " + Direct("Transmitidas", 901),
                              "Nota numero 901 enviada.",
                              "Caminho: " + Direct("Transmitidas", 902),
                              "Arquivo encontrado em: " + Direct("Transmitidas", 902),
                              "Nota numero 902 enviada.", kImportFailed + "*", kDatabaseLost});
  EXPECT_EQ(Received(ids), (std::map<std::string, int>{
                               {ids[0], 1}, {ids[1], 1}, {ids[2], 0}, {ids[3], 0}}));
  EXPECT_TRUE(fs::exists(error_folder() / (InvoiceKey(902) + "-nfe.xml")));
  EXPECT_FALSE(fs::exists(error_folder() / (InvoiceKey(903) + "-nfe.xml")));

  StartServer();
  pump.on_pending = nullptr;
  pass().Run();

  EXPECT_EQ(Received(ids), (std::map<std::string, int>{
                               {ids[0], 1}, {ids[1], 2}, {ids[2], 1}, {ids[3], 1}}));
  for (const int number : numbers) EXPECT_EQ(WebEx(1000 - number), "1") << number;
}

// The closing phase alike; the pass ends with it, before the invoices.
TEST_P(PhaseOutageTest, ClosingPhaseEndsAfterTheRowWhoseUpdateLostTheDatabaseAndThePassWithIt) {
  const ServerLeftRunning left_running(backend());
  const std::vector<std::string> closings = {"\"f\":1", "\"f\":2", "\"f\":3"};
  for (int codigo = 1; codigo <= 3; ++codigo) {
    database->Execute("INSERT INTO FECHAMENTOS VALUES (" + std::to_string(codigo) + ", '{\"f\":" +
                      std::to_string(codigo) + "}', 0, NULL);");
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
  EXPECT_EQ(Received(sent), (std::map<std::string, int>{
                                {sent[0], 1}, {sent[1], 1}, {sent[2], 0}, {invoice, 0}}));

  StartServer();
  pass().Run();

  EXPECT_EQ(Received(sent), (std::map<std::string, int>{
                                {sent[0], 1}, {sent[1], 2}, {sent[2], 1}, {invoice, 1}}));
  EXPECT_EQ(database->Scalar("SELECT COUNT(*) FROM FECHAMENTOS WHERE WEB_EX = 1"), "3");
  EXPECT_EQ(WebEx(1), "1");
}

INSTANTIATE_TEST_SUITE_P(Servers, PhaseOutageTest,
                         ::testing::Values(Backend::kFirebird, Backend::kOdbcPostgres),
                         BackendParamName);

}  // namespace
}  // namespace quorbin::testing
