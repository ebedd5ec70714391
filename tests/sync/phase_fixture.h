// What the phase tests share: a whole terminal against one of the three real
// database backends and the scripted HTTP server. The database holds the tables
// of testing/pos_schema.h with the series and the emitter; drive C holds the NFC-e folders (for
// Firebird, the fixture's own drive, for the ODBC backends a folder of the test); the executable
// directory holds the log, sync.ini and qb_errors. The event pump notes every pause with the
// number of log lines written before it and can run a test's action whenever the
// pass lets pending events run.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "api/api_client.h"
#include "store/pos_connection.h"
#include "support/activity_log.h"
#include "support/event_pump.h"
#include "sync/sync_pass.h"
#include "testing/manual_clock.h"
#include "testing/pos_schema.h"
#include "testing/scripted_http_server.h"
#include "testing/shell_command.h"
#include "testing/temp_dir.h"
#include "testing/test_databases.h"

namespace quorbin::testing {

inline constexpr const char* kEmitterDigits = kPosEmitterDigits;
inline constexpr const char* kToken = "t0k3n";
// The invoice phase's lines for a row whose upload failed and for a file given up.
inline const std::string kImportFailed =
    "Erro ao importar nota, será copiada para a pasta de erros.";
inline const std::string kUnhealthy = "Arquivo não saudável, não tentará ser enviado novamente.";

class PhasePump final : public EventPump {
 public:
  explicit PhasePump(std::filesystem::path log_file) : log_file_(std::move(log_file)) {}

  void RunPending() override;
  void Sleep(int milliseconds) override;

  struct Pause {
    int milliseconds;
    std::size_t after_lines;  // log messages written before the pause
    bool operator==(const Pause&) const = default;
  };
  std::vector<Pause> pauses;
  // Run every time the pass lets pending events run.
  std::function<void()> on_pending;
  // Run at every pause, once it is noted.
  std::function<void()> on_sleep;

 private:
  std::filesystem::path log_file_;
};

// An answer of the server, chosen by a text that the request body holds.
struct ScriptedRule {
  std::string body_holds;
  ScriptedAnswer answer;
};

class PhaseTest : public ::testing::TestWithParam<Backend> {
 protected:
  PhaseTest();
  void SetUp() override;

  Backend backend() const { return GetParam(); }
  const std::filesystem::path& drive_c() const { return drive_c_; }
  std::filesystem::path nfce() const { return drive_c_ / "Tavrellis" / "PDV" / "NFCe"; }
  std::filesystem::path error_folder() const { return exe_dir / "qb_errors"; }
  std::filesystem::path settings_file() const { return exe_dir / "sync.ini"; }
  std::vector<std::string> messages() const;

  // Writes `text` at `relative` below the NFCe folder; returns the full path.
  std::filesystem::path PutInvoice(const std::string& relative, const std::string& text) const;

  // Answers 200 to every request except those a rule matches (the first wins).
  void ScriptAnswers(std::vector<ScriptedRule> rules);
  // The bodies of the requests the server received, in order.
  std::vector<std::string> RequestBodies() const;
  std::vector<std::string> Requests() const;

  SyncPassSetup PassSetup();
  // A pass object as the agent holds it; a new one is a restarted agent.
  SyncPass& NewPass();
  SyncPass& pass() { return *pass_; }

  // Installs a trigger that makes every update of `table` fail for rows whose
  // column `column` equals `value`; the database's message holds "bloqueada".
  void BlockUpdates(const std::string& table, const std::string& column, int value);
  void UnblockUpdates(const std::string& table);

  // A row of `cupom` dated 10 May 2022, 14:30, pending.
  void InsertRow(int numero, std::optional<int> nfce_num, int offline, int cancelado,
                 const std::string& key);
  // The direct path of invoice `number` of May 2022 below NFCe/`folder`.
  std::string Direct(const std::string& folder, int number) const;
  // `web_ex` of the row of `cupom` with that `numero`.
  std::string WebEx(int numero);

  TempDir exe_dir;
  ManualClock clock;
  ActivityLog log;
  PhasePump pump;
  ScriptedHttpServer server;
  std::unique_ptr<TestDatabase> database;
  std::unique_ptr<PosConnection> connection;
  std::unique_ptr<ApiClient> api;

 private:
  std::filesystem::path drive_c_;
  std::optional<TempDir> own_drive_;
  std::unique_ptr<ScopedEnvironment> drive_variable_;
  std::unique_ptr<SyncPass> pass_;
};

std::string BackendParamName(const ::testing::TestParamInfo<Backend>& info);

// Compares log messages; an expected message ending in "*" matches by its prefix.
void ExpectMessages(const std::vector<std::string>& actual,
                    const std::vector<std::string>& expected);

// The access key of invoice `number`: 44 digits.
std::string InvoiceKey(int number);

// A wrapped NFC-e document of the emitter with code `number` and Id "NFe" + key.
std::string InvoiceDocument(int number, bool with_id = true);

// The text of the invoice's Id in a posted body ("" when it holds none).
std::string PostedInvoiceId(const std::string& body);

// The value of member `name` in a posted invoice body.
std::string PostedMember(const std::string& body, const std::string& name);

}  // namespace quorbin::testing
