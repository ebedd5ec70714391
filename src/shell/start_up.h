// Start-up (`FormCreate`), run once while the agent is created, before its event
// loop runs: open the point-of-sale database through the connection chain; stop
// there (the failure reaches the agent's message box) when no profile opens;
// take now as the last log time; tell whether the point-of-sale program is
// installed; apply a pending self-update (the agent then ends once start-up has
// returned); and, only when the program is installed, read "DEBUG", read the
// series and the emitter's CNPJ, log the terminal in and run the first pass at
// once.
//
// Inside the login block a ProtocolError is reported (a log line and an html
// page) and the agent runs on without a token; any other failure writes three
// lines (its message, the login answer so far, "Envio para api: " and the login
// body so far), sleeps 10 s without delivering events and ends the agent.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "api/api_client.h"
#include "shell/agent.h"
#include "store/pos_connection.h"
#include "support/activity_log.h"
#include "support/clock.h"
#include "support/event_pump.h"

namespace quorbin {

constexpr int kFailedLoginWaitMs = 10'000;

struct StartUpServices {
  PosConnection& fbconn;
  ApiClient& api;
  ActivityLog& log;
  const Clock& clock;
  EventPump& pump;
  std::function<std::string()> fingerprint;
  std::filesystem::path executable;
  std::filesystem::path settings_file;
  std::filesystem::path pos_program;  // the resolved kPosProgram
};

void FormCreate(Agent& agent, StartUpServices& services);

}  // namespace quorbin
