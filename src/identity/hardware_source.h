// Where the fingerprint's property values come from: the objects of a machine
// class with their properties, and the serial number of the system volume. The
// system's own description (platform/machine_description.h) is the source in the
// agent; tests give their own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/machine_description.h"

namespace quorbin {

class HardwareSource {
 public:
  virtual ~HardwareSource() = default;
  // The objects of one class ("Win32_BaseBoard"), in the order the source gives
  // them, with the named properties: only these are read.
  virtual std::vector<platform::MachineObject> Objects(
      std::string_view class_name, const std::vector<std::string>& properties) = 0;
  // The serial number of the system volume ("C:\" on Windows), if it can be read.
  virtual std::optional<std::uint32_t> VolumeSerial() = 0;
};

// The system's own description, connected once for all the classes it is asked.
class SystemHardwareSource final : public HardwareSource {
 public:
  std::vector<platform::MachineObject> Objects(
      std::string_view class_name, const std::vector<std::string>& properties) override {
    return description_.Objects(class_name, properties);
  }
  std::optional<std::uint32_t> VolumeSerial() override { return platform::SystemVolumeSerial(); }

 private:
  platform::MachineDescription description_;
};

// The value of the named property of an object; throws Failure when the object
// has no such property.
const platform::MachineValue& PropertyValue(const platform::MachineObject& object,
                                            std::string_view name);

}  // namespace quorbin
