#include "phase_fixture.h"

#include <cstdlib>

#include "sync_fixture.h"

namespace quorbin::testing {

void PhasePump::RunPending() {
  if (on_pending) on_pending();
}

void PhasePump::Sleep(int milliseconds) {
  pauses.push_back({milliseconds, LogMessages(log_file_).size()});
  if (on_sleep) on_sleep();
}

PhaseTest::PhaseTest() : log(exe_dir / "log_sync.txt", clock), pump(exe_dir / "log_sync.txt") {}

void PhaseTest::SetUp() {
  database = CreateTestDatabase(backend(), PosSchema());
  if (IsSkipped()) return;  // no PostgreSQL server here
  connection = database->Connect();
  // The Firebird fixture points drive C at the folder that holds its database;
  // the NFC-e folders go there too. The ODBC backends need no drive C.
  if (backend() == Backend::kFirebird) {
    const char* drive = std::getenv("QUORBIN_DRIVE_C");
    ASSERT_NE(drive, nullptr);
    drive_c_ = drive;
  } else {
    own_drive_.emplace();
    drive_c_ = own_drive_->path();
    drive_variable_ = std::make_unique<ScopedEnvironment>("QUORBIN_DRIVE_C", drive_c_.c_str());
  }
  std::filesystem::create_directories(nfce());

  HttpLimits limits;
  limits.connect_timeout = std::chrono::milliseconds(2'000);
  limits.idle_timeout = std::chrono::milliseconds(2'000);
  api = std::make_unique<ApiClient>(limits);
  api->SetBaseUrl(server.Url("/api/"));
  api->SetApiToken(kToken);
  ScriptAnswers({});
  NewPass();
}

std::vector<std::string> PhaseTest::messages() const {
  return LogMessages(exe_dir / "log_sync.txt");
}

std::filesystem::path PhaseTest::PutInvoice(const std::string& relative,
                                            const std::string& text) const {
  const auto path = nfce() / relative;
  std::filesystem::create_directories(path.parent_path());
  WriteBytes(path, text);
  return path;
}

void PhaseTest::ScriptAnswers(std::vector<ScriptedRule> rules) {
  server.SetResponder([rules = std::move(rules)](const std::string& request) {
    const std::string body = request.substr(request.find("\r\n\r\n") + 4);
    for (const ScriptedRule& rule : rules) {
      if (body.find(rule.body_holds) != std::string::npos) return rule.answer;
    }
    return ScriptedAnswer(HttpAnswer("HTTP/1.1 200 OK", "", "{}"));
  });
}

std::vector<std::string> PhaseTest::Requests() const {
  std::vector<std::string> requests;
  for (const RecordedConnection& connection : server.Connections()) {
    requests.push_back(connection.request);
  }
  return requests;
}

std::vector<std::string> PhaseTest::RequestBodies() const {
  std::vector<std::string> bodies;
  for (const std::string& request : Requests()) {
    bodies.push_back(request.substr(request.find("\r\n\r\n") + 4));
  }
  return bodies;
}

SyncPassSetup PhaseTest::PassSetup() {
  return SyncPassSetup{.log = log,
                       .pump = pump,
                       .fbconn = *connection,
                       .api = *api,
                       .clock = clock,
                       .error_folder = error_folder(),
                       .settings_file = settings_file()};
}

SyncPass& PhaseTest::NewPass() {
  pass_ = std::make_unique<SyncPass>(PassSetup());
  return *pass_;
}

void PhaseTest::BlockUpdates(const std::string& table, const std::string& column, int value) {
  const std::string trigger = table + "_BLOQUEIO";
  if (backend() == Backend::kFirebird) {
    database->Execute("CREATE EXCEPTION " + trigger + " 'linha bloqueada';\n" +
                      "SET TERM ^ ;\n"
                      "CREATE TRIGGER " +
                      trigger + " FOR " + table + " BEFORE UPDATE AS BEGIN IF (NEW." + column +
                      " = " + std::to_string(value) + ") THEN EXCEPTION " + trigger +
                      "; END^\n"
                      "SET TERM ; ^\n");
  } else if (backend() == Backend::kOdbcSqlite) {
    database->Execute("CREATE TRIGGER " + trigger + " BEFORE UPDATE ON " + table + " WHEN NEW." +
                      column + " = " + std::to_string(value) +
                      " BEGIN SELECT RAISE(ABORT, 'linha bloqueada'); END;");
  } else {
    database->Execute("CREATE FUNCTION " + trigger +
                      "() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION 'linha "
                      "bloqueada'; END $$;\n"
                      "CREATE TRIGGER " +
                      trigger + " BEFORE UPDATE ON " + table + " FOR EACH ROW WHEN (NEW." + column +
                      " = " + std::to_string(value) + ") EXECUTE FUNCTION " + trigger + "();");
  }
}

void PhaseTest::UnblockUpdates(const std::string& table) {
  database->Execute("DROP TRIGGER " + table + "_BLOQUEIO" +
                    (backend() == Backend::kOdbcPostgres ? " ON " + table : std::string()) + ";");
}

void PhaseTest::InsertRow(int numero, std::optional<int> nfce_num, int offline, int cancelado,
                          const std::string& key) {
  database->Execute("INSERT INTO CUPOM VALUES (" + std::to_string(numero) + ", " +
                    (nfce_num ? std::to_string(*nfce_num) : "NULL") + ", '" + key +
                    "', '2022-05-10', '14:30:00', " + std::to_string(offline) + ", " +
                    std::to_string(cancelado) + ", 0);");
}

std::string PhaseTest::Direct(const std::string& folder, int number) const {
  return (nfce() / folder / "202205" / (InvoiceKey(number) + "-nfe.xml")).string();
}

std::string PhaseTest::WebEx(int numero) {
  return database->Scalar("SELECT WEB_EX FROM CUPOM WHERE NUMERO = " + std::to_string(numero));
}

void ExpectMessages(const std::vector<std::string>& actual,
                    const std::vector<std::string>& expected) {
  bool same = actual.size() == expected.size();
  for (std::size_t i = 0; same && i < actual.size(); ++i) {
    const std::string& want = expected[i];
    same = !want.empty() && want.back() == '*'
               ? actual[i].size() > want.size() - 1 &&
                     actual[i].compare(0, want.size() - 1, want, 0, want.size() - 1) == 0
               : actual[i] == want;
  }
  EXPECT_TRUE(same) << ::testing::PrintToString(actual) << "\nexpected\n"
                    << ::testing::PrintToString(expected);
}

std::string BackendParamName(const ::testing::TestParamInfo<Backend>& info) {
  return BackendName(info.param);
}

std::string InvoiceKey(int number) {
  std::string digits = std::to_string(number);
  return "3522051234567800019065001" + std::string(19 - digits.size(), '0') + digits;
}

std::string InvoiceDocument(int number, bool with_id) {
  std::string document =
      WrappedInvoice(kEmitterDigits, std::to_string(number), "NFe" + InvoiceKey(number));
  if (!with_id) {
    const std::string id = " Id=\"NFe" + InvoiceKey(number) + "\"";
    document.erase(document.find(id), id.size());
  }
  return document;
}

std::string PostedMember(const std::string& body, const std::string& name) {
  const std::string opening = "\"" + name + "\":\"";
  const std::size_t at = body.find(opening);
  if (at == std::string::npos) return std::string();
  const std::size_t begin = at + opening.size();
  return body.substr(begin, body.find('"', begin) - begin);
}

std::string PostedInvoiceId(const std::string& body) {
  return PostedMember(body, "nf_id");
}

}  // namespace quorbin::testing
