// Gives the process's free memory back to the operating system. Never fails.
#pragma once

namespace quorbin::platform {

void ReleaseFreeMemory() noexcept;

}  // namespace quorbin::platform
