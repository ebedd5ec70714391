// The machine-wide single-instance lock. It is held until the process ends and the
// system frees it when the process dies, however it dies.
#pragma once

#include <string>

namespace quorbin::platform {

// The lock's name: "QuorbinEC" unless the environment names another.
std::string SingleInstanceName();

// False only when another live process holds the lock. A lock that cannot be
// created at all lets the agent start (true).
bool AcquireSingleInstance(const std::string& name);

// Whether a live process holds the lock, found without taking it.
bool IsSingleInstanceHeld(const std::string& name);

}  // namespace quorbin::platform
