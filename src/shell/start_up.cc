#include "shell/start_up.h"

#include <exception>

#include "api/error_page.h"
#include "api/login.h"
#include "api/protocol_error.h"
#include "store/connect_pos_database.h"
#include "store/login_fields.h"
#include "support/self_update.h"
#include "support/settings.h"

namespace quorbin {
namespace {

bool FileExists(const std::filesystem::path& file) {
  std::error_code error;
  return std::filesystem::is_regular_file(file, error);
}

// Step 6: the login and the first pass, inside one failure boundary.
void LogInAndRunFirstPass(Agent& agent, StartUpServices& s) {
  LoginTrace trace;
  try {
    s.api.SetBaseUrl(SelectedBaseUrl(ReadSettingBool(s.settings_file, "MAIN", "DEBUG", false)));
    s.fbconn.Open();
    const LoginFields fields = ReadLoginFields(s.fbconn.fbquery());
    Login(s.api, fields.cnpj, fields.serie, s.fingerprint, trace);
    agent.tmrsyncTimer();
  } catch (const ProtocolError& refused) {
    ReportProtocolError(refused, s.log, s.clock);
  } catch (const std::exception& failure) {
    s.log.WriteLog(failure.what());
    s.log.WriteLog(trace.response_text);
    s.log.WriteLog("Envio para api: " + trace.request_body);
    s.pump.Sleep(kFailedLoginWaitMs);
    agent.RequestEnd();
  }
}

}  // namespace

void FormCreate(Agent& agent, StartUpServices& s) {
  ConnectPosDatabase(s.fbconn, s.log);
  s.log.SetLastLogTime(s.clock.Now());
  const bool pos_installed = FileExists(s.pos_program);
  if (ApplyPendingUpdate(s.executable)) agent.RequestEnd();
  if (!pos_installed) return;
  LogInAndRunFirstPass(agent, s);
}

}  // namespace quorbin
