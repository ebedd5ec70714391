#include "platform/machine_registry.h"

namespace quorbin::platform {

RegistryValue ReadMachineRegistryValue(RegistryView, std::string_view, std::string_view) {
  return {};
}

}  // namespace quorbin::platform
