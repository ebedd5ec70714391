// The agent's debug address is one fixed port (127.0.0.1:8000), so the
// end-to-end tests that play the web API there take turns: a test that finds the
// port taken waits, within a bound, until the test holding it lets it go.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "testing/scripted_http_server.h"

namespace quorbin::testing {

inline constexpr std::uint16_t kDebugPort = 8000;

// A scripted server listening on the debug port. Throws std::runtime_error when
// the port is still taken after `limit`.
std::unique_ptr<ScriptedHttpServer> ListenOnDebugPort(
    std::chrono::milliseconds limit = std::chrono::minutes(4));

}  // namespace quorbin::testing
