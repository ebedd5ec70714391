#include <malloc.h>

#include "platform/memory.h"

namespace quorbin::platform {

void ReleaseFreeMemory() noexcept {
  malloc_trim(0);
}

}  // namespace quorbin::platform
