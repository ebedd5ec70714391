// The machine as WMI describes it, and the serial number of volume "C:\". Under
// Wine the serial comes from the file .windows-serial at the root of drive C,
// which these tests set.
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "identity/quorbin_guid.h"
#include "platform/machine_description.h"
#include "testing/wine.h"

namespace quorbin::platform {
namespace {

const MachineValue& Property(const MachineObject& object, std::string_view name) {
  for (const auto& [property, value] : object.properties) {
    if (property == name) return value;
  }
  throw std::runtime_error("no property " + std::string(name));
}

TEST(MachineDescriptionWindowsTest, TheFingerprintClassesCarryTheNamedPropertiesOnly) {
  const struct {
    const char* class_name;
    std::vector<std::string> properties;
  } classes[] = {
      {"Win32_BaseBoard", {"SerialNumber", "Manufacturer", "Product", "Model"}},
      {"Win32_OperatingSystem", {"Manufacturer", "Name", "SerialNumber"}},
      {"Win32_BIOS",
       {"BIOSVersion", "BuildNumber", "Description", "Manufacturer", "Name", "SerialNumber",
        "Version"}},
  };
  // One description, one connection, for all the classes.
  MachineDescription description;
  for (const auto& c : classes) {
    SCOPED_TRACE(c.class_name);
    const auto objects = description.Objects(c.class_name, c.properties);
    ASSERT_FALSE(objects.empty());
    std::vector<std::string> names;
    for (const auto& property : objects[0].properties) names.push_back(property.first);
    EXPECT_EQ(names, c.properties);
  }
  const auto system = description.Objects("Win32_OperatingSystem", {"Name"});
  EXPECT_EQ(Property(system[0], "Name").kind, MachineValue::Kind::kText);
  const MachineValue& versions =
      Property(description.Objects("Win32_BIOS", {"BIOSVersion"})[0], "BIOSVersion");
  EXPECT_TRUE(versions.kind == MachineValue::Kind::kArray ||
              versions.kind == MachineValue::Kind::kNull);
  // A property the class does not have is Null, not a failure.
  EXPECT_EQ(
      Property(description.Objects("Win32_BIOS", {"NoSuchProperty"})[0], "NoSuchProperty").kind,
      MachineValue::Kind::kNull);
}

TEST(MachineDescriptionWindowsTest, AnUnknownClassIsAFailureWithTheSystemsReason) {
  try {
    MachineDescription().Objects("Win32_NoSuchClass", {"Name"});
    // A system may also answer with no objects at all.
  } catch (const std::exception& failure) {
    EXPECT_NE(std::string(failure.what()).find("Win32_NoSuchClass"), std::string::npos)
        << failure.what();
  }
}

// Under Wine the serial of drive C is the hexadecimal number in this file, read
// when Wine starts its services; scripts/test-windows writes one with the highest
// bit set.
std::optional<std::uint32_t> WineSerialFile() {
  std::ifstream in("C:\\.windows-serial");
  std::string hex;
  if (!(in >> hex)) return std::nullopt;
  return static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
}

TEST(MachineDescriptionWindowsTest, TheVolumeSerialOfDriveCEntersTheFingerprint) {
  if (!testing::RunningUnderWine())
    GTEST_SKIP() << "the serial of a real volume cannot be known beforehand";
  const auto expected = WineSerialFile();
  if (!expected) GTEST_SKIP() << "drive C of this Wine prefix has no .windows-serial";
  EXPECT_EQ(SystemVolumeSerial(), expected);
  TUQuorbinGUID guid;
  EXPECT_EQ(guid.GetSystemVolumeSerial(), std::to_string(*expected)) << "unsigned decimal";
  const std::string fingerprint = guid.RETORNARGUID();
  EXPECT_EQ(fingerprint.size(), 32u);
  EXPECT_EQ(fingerprint.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_FALSE(guid.Buffer().empty()) << "WMI gave no property text";
  EXPECT_EQ(TUQuorbinGUID().RETORNARGUID(), fingerprint) << "the same machine, the same text";
}

}  // namespace
}  // namespace quorbin::platform
