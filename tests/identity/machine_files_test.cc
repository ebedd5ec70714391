// Which file feeds which property on Linux, read from a laid-out root folder.
#include "platform/linux/machine_files_linux.h"

#include <gtest/gtest.h>

#include "identity/hardware_source.h"
#include "identity/machine_value_text.h"
#include "identity/quorbin_guid.h"
#include "testing/temp_dir.h"

namespace quorbin {
namespace {

using testing::TempDir;
using testing::WriteBytes;

class MachineFilesTest : public ::testing::Test {
 protected:
  void Put(const std::string& relative, std::string_view bytes) {
    std::filesystem::create_directories((root / relative).parent_path());
    WriteBytes(root / relative, bytes);
  }

  // The texts of the named properties of the class's only object, joined by "|".
  std::string Texts(std::string_view class_name, std::vector<std::string> names) {
    const auto objects = platform::DescribeMachineClass(class_name, root);
    EXPECT_EQ(objects.size(), 1u);
    std::string joined;
    for (const auto& name : names) {
      if (!joined.empty()) joined += '|';
      const auto& value = PropertyValue(objects.at(0), name);
      joined +=
          value.kind == platform::MachineValue::Kind::kNull ? "<null>" : WmiValueToText(value);
    }
    return joined;
  }

  TempDir dir;
  std::filesystem::path root = dir.path();
};

TEST_F(MachineFilesTest, FilesFeedTheirProperties) {
  const std::string dmi = "sys/class/dmi/id/";
  Put(dmi + "board_serial", "BSN-1 \n");
  Put(dmi + "board_vendor", "Placas SA\n");
  Put(dmi + "board_name", "B450M\n");
  Put(dmi + "bios_version", "F.42\n");
  Put(dmi + "bios_vendor", "Firmware Inc.\n");
  Put(dmi + "bios_date", "03/05/2024\n");
  Put(dmi + "product_serial", "PSN-9\n");
  Put("etc/os-release",
      "# comment\nNAME=\"Debian GNU/Linux\"\nPRETTY_NAME='Debian 12 (bookworm)'\n"
      "VERSION_ID=\"12\"\nBUILD_ID=rolling\nEMPTY=\n");
  Put("etc/machine-id", "3d1219c7c4c5404aaa1f6d2a48adfda4\n");

  EXPECT_EQ(Texts("Win32_BaseBoard", {"SerialNumber", "Manufacturer", "Product", "Model"}),
            "BSN-1 |Placas SA|B450M|<null>");
  EXPECT_EQ(Texts("Win32_OperatingSystem",
                  {"BuildNumber", "BuildType", "Manufacturer", "Name", "SerialNumber", "Version"}),
            "rolling|<null>|Debian GNU/Linux|Debian 12 (bookworm)|"
            "3d1219c7c4c5404aaa1f6d2a48adfda4|12");
  EXPECT_EQ(Texts("Win32_BIOS", {"BIOSVersion", "BuildNumber", "Description", "Manufacturer",
                                 "Name", "SerialNumber", "Version"}),
            "[F.42]|<null>|F.42|Firmware Inc.|F.42|PSN-9|03/05/2024");
}

TEST_F(MachineFilesTest, MissingFilesAreNullAndOsReleaseFallsBack) {
  Put("usr/lib/os-release", "NAME=Fallback\n");
  EXPECT_EQ(Texts("Win32_BaseBoard", {"SerialNumber", "Manufacturer", "Product"}),
            "<null>|<null>|<null>");
  EXPECT_EQ(Texts("Win32_OperatingSystem", {"Manufacturer", "Name", "SerialNumber"}),
            "Fallback|<null>|<null>");
  EXPECT_EQ(Texts("Win32_BIOS", {"BIOSVersion", "Description"}), "<null>|<null>");
  EXPECT_TRUE(platform::DescribeMachineClass("Win32_Fan", root).empty());
}

TEST(SystemMachineTest, RealMachineGivesAFingerprint) {
  const std::string fingerprint = TUQuorbinGUID().RETORNARGUID();
  EXPECT_EQ(fingerprint.size(), 32u);
  EXPECT_EQ(fingerprint.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_EQ(TUQuorbinGUID().RETORNARGUID(), fingerprint);
  EXPECT_TRUE(platform::SystemVolumeSerial().has_value());
}

}  // namespace
}  // namespace quorbin
