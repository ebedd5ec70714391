#include "identity/hardware_source.h"

#include <cctype>
#include <string>

#include "support/failure.h"

namespace quorbin {

const platform::MachineValue& PropertyValue(const platform::MachineObject& object,
                                            std::string_view name) {
  for (const auto& [property, value] : object.properties) {
    if (property.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(property[i])) ==
             std::tolower(static_cast<unsigned char>(name[i]));
    }
    if (same) return value;
  }
  throw Failure("Property \"" + std::string(name) + "\" not found.");
}

}  // namespace quorbin
