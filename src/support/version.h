// The agent's version, as every pass's start message, `--version` and the
// check's report show it.
#pragma once

namespace quorbin {

constexpr const char* kSyncVersion = "1.2";

}  // namespace quorbin
