#include "shell/agent_services.h"

#include "identity/quorbin_guid.h"
#include "platform/drive_paths.h"
#include "platform/executable.h"
#include "support/paths.h"
#include "support/settings.h"

namespace quorbin {

AgentServices::AgentServices(ActivityLog& log, const Clock& clock, EventPump& pump)
    : pass({.log = log,
            .pump = pump,
            .fbconn = fbconn,
            .api = api,
            .clock = clock,
            .error_folder = ErrorFolder(),
            .settings_file = SettingsFilePath()}),
      start_up{.fbconn = fbconn,
               .api = api,
               .log = log,
               .clock = clock,
               .pump = pump,
               .fingerprint = [] { return TUQuorbinGUID().RETORNARGUID(); },
               .executable = platform::ExecutablePath(),
               .settings_file = SettingsFilePath(),
               .pos_program = platform::ResolveDrivePath(kPosProgram)} {}

}  // namespace quorbin
