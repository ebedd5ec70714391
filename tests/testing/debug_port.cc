#include "testing/debug_port.h"

#include <stdexcept>
#include <thread>

namespace quorbin::testing {

std::unique_ptr<ScriptedHttpServer> ListenOnDebugPort(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    try {
      return std::make_unique<ScriptedHttpServer>(kDebugPort);
    } catch (const std::runtime_error&) {
      if (std::chrono::steady_clock::now() > deadline) throw;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

}  // namespace quorbin::testing
