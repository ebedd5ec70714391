#include "identity/hardware_source.h"

#include <string>

#include "support/ascii_text.h"
#include "support/failure.h"

namespace quorbin {

const platform::MachineValue& PropertyValue(const platform::MachineObject& object,
                                            std::string_view name) {
  for (const auto& [property, value] : object.properties) {
    if (EqualsIgnoringCase(property, name)) return value;
  }
  throw Failure("Property \"" + std::string(name) + "\" not found.");
}

}  // namespace quorbin
