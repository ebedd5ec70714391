// The fingerprint: what is collected, in which order, and how it is hashed.
#include "identity/quorbin_guid.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "identity/md5_hex.h"
#include "support/failure.h"

namespace quorbin {
namespace {

using platform::MachineObject;
using platform::MachineValue;

class FakeHardware final : public HardwareSource {
 public:
  std::map<std::string, std::vector<MachineObject>, std::less<>> classes;
  std::optional<std::uint32_t> serial;
  std::vector<std::string> queried;
  // The properties asked of each class.
  std::map<std::string, std::vector<std::string>, std::less<>> asked;
  // Properties that cannot be read, as "Class.Property": asking for one fails.
  std::set<std::string> unreadable;

  std::vector<MachineObject> Objects(std::string_view class_name,
                                     const std::vector<std::string>& properties) override {
    queried.emplace_back(class_name);
    asked[std::string(class_name)] = properties;
    for (const std::string& property : properties) {
      if (unreadable.contains(std::string(class_name) + "." + property)) {
        throw Failure("The property " + property + " cannot be read.");
      }
    }
    const auto found = classes.find(class_name);
    return found == classes.end() ? std::vector<MachineObject>{} : found->second;
  }
  std::optional<std::uint32_t> VolumeSerial() override { return serial; }
};

MachineValue T(std::string text) {
  return MachineValue::Text(std::move(text));
}

MachineObject Board(MachineValue serial, MachineValue maker, MachineValue product,
                    MachineValue model) {
  return {{{"SerialNumber", serial},
           {"Manufacturer", maker},
           {"Product", product},
           {"Model", model},
           {"Version", T("ignored")}}};
}

MachineObject System(MachineValue maker, MachineValue name, MachineValue serial) {
  return {{{"BuildNumber", T("19045")},
           {"BuildType", T("x")},
           {"Manufacturer", maker},
           {"Name", name},
           {"SerialNumber", serial},
           {"Version", T("10.0")}}};
}

MachineObject Bios(MachineValue versions, std::vector<std::string> texts) {
  return {{{"BIOSVersion", versions},
           {"BuildNumber", T(texts[0])},
           {"Description", T(texts[1])},
           {"Manufacturer", T(texts[2])},
           {"Name", T(texts[3])},
           {"SerialNumber", T(texts[4])},
           {"Version", T(texts[5])}}};
}

class FingerprintTest : public ::testing::Test {
 protected:
  FingerprintTest() {
    hardware.classes["Win32_BaseBoard"] = {Board(T("S"), T("M"), T("P"), MachineValue::Null())};
    hardware.classes["Win32_OperatingSystem"] = {System(T("A"), T("B"), T("C"))};
    hardware.classes["Win32_BIOS"] = {
        Bios(MachineValue::Array({T("X"), T("Y")}), {"D", "E", "F", "G", "H", "I"})};
    hardware.classes["Win32_Processor"] = {{{{"Name", T("cpu")}}}};
    hardware.serial = 77;
  }

  std::string Fingerprint() { return TUQuorbinGUID(hardware).RETORNARGUID(); }

  FakeHardware hardware;
};

TEST_F(FingerprintTest, CollectsTheSelectedPropertiesBackToBack) {
  // BuildNumber D, Description E, Manufacturer F, Name G, SerialNumber H, Version I.
  TUQuorbinGUID guid(hardware);
  const std::string fingerprint = guid.RETORNARGUID();
  EXPECT_EQ(guid.Buffer(), "SMPABC[X|Y]DEFGHI");
  EXPECT_EQ(fingerprint, Md5Hex("SMPABC[X|Y]DEFGHI77"));
  const std::vector<std::string> queried = {"Win32_BaseBoard", "Win32_OperatingSystem",
                                            "Win32_BIOS"};
  EXPECT_EQ(hardware.queried, queried) << "the processor is never queried";
  EXPECT_EQ(guid.MotherBoardInfo().Bits(), 15);
  EXPECT_EQ(guid.OSInfo().Bits(), 28);
  EXPECT_EQ(guid.BIOSInfo().Bits(), 127);
  EXPECT_EQ(guid.ProcessorInfo().Bits(), 0);
}

TEST_F(FingerprintTest, CompositionExampleHashesToItsDigest) {
  // Five BIOS texts D to H, as the terminals' reference example has them.
  hardware.classes["Win32_BIOS"] = {{{{"BIOSVersion", MachineValue::Array({T("X"), T("Y")})},
                                      {"BuildNumber", MachineValue::Null()},
                                      {"Description", T("D")},
                                      {"Manufacturer", T("E")},
                                      {"Name", T("F")},
                                      {"SerialNumber", T("G")},
                                      {"Version", T("H")}}}};
  EXPECT_EQ(Fingerprint(), "DF2FB5E9567CDB16C65084C4B63CADE3");  // MD5 of SMPABC[X|Y]DEFGH77
}

TEST_F(FingerprintTest, NothingKnownGivesTheDigestOfNoBytes) {
  hardware.classes.clear();
  hardware.classes["Win32_BaseBoard"] = {
      Board(MachineValue::Null(), T(""), MachineValue::Null(), MachineValue::Null())};
  hardware.serial.reset();
  EXPECT_EQ(Fingerprint(), "D41D8CD98F00B204E9800998ECF8427E");
}

TEST_F(FingerprintTest, CharactersFrom128UpAreHashedAsQuestionMarks) {
  hardware.classes["Win32_OperatingSystem"] = {System(T("A"), T("Jos\xC3\xA9"), T("C"))};
  const std::string with_e_acute = Fingerprint();
  hardware.classes["Win32_OperatingSystem"] = {System(T("A"), T("Jos\xC3\xA7"), T("C"))};
  EXPECT_EQ(Fingerprint(), with_e_acute);
  hardware.classes["Win32_OperatingSystem"] = {System(T("A"), T("Jos?"), T("C"))};
  EXPECT_EQ(Fingerprint(), with_e_acute);
  EXPECT_EQ(Md5Hex("Caf\xC3\xA9"), "42E89FB57D5CD00BBEEA4B0DA53892D0");  // MD5 of "Caf?"
}

TEST_F(FingerprintTest, VolumeSerialIsUnsignedDecimal) {
  hardware.serial = 0x80000001u;
  TUQuorbinGUID guid(hardware);
  EXPECT_EQ(guid.GetSystemVolumeSerial(), "2147483649");
  EXPECT_EQ(guid.RETORNARGUID(), Md5Hex("SMPABC[X|Y]DEFGHI2147483649"));
  hardware.serial = 0xFFFFFFFFu;
  EXPECT_EQ(guid.GetSystemVolumeSerial(), "4294967295");
}

TEST_F(FingerprintTest, ObjectsFollowInOrderAndBlanksCount) {
  hardware.classes["Win32_BaseBoard"] = {Board(T("S1 "), T("M1"), T("P1"), T("L1")),
                                         Board(T("S2"), T("M2"), T("P2"), MachineValue::Null())};
  hardware.classes["Win32_BIOS"] = {Bios(MachineValue::Array({}), {"", "", "", "", "", ""}),
                                    Bios(MachineValue::Null(), {"", "", "", "", "", ""})};
  TUQuorbinGUID guid(hardware);
  guid.RETORNARGUID();
  EXPECT_EQ(guid.Buffer(), "S1 M1P1L1S2M2P2ABC[]");
}

TEST_F(FingerprintTest, RepeatedCallsGiveTheSameFingerprintGenerateAloneAppends) {
  TUQuorbinGUID guid(hardware);
  const std::string first = guid.RETORNARGUID();
  EXPECT_EQ(guid.RETORNARGUID(), first);
  guid.GenerateHardwareId();
  EXPECT_EQ(guid.Buffer(), "SMPABC[X|Y]DEFGHISMPABC[X|Y]DEFGHI");
}

TEST_F(FingerprintTest, OwnSelectionQueriesOnlyItsClasses) {
  TUQuorbinGUID guid(hardware);
  guid.SetProcessorInfo({Pr_Name});
  guid.SetOSInfo(TOSInfoSet(1u << Os_Version));
  guid.GenerateHardwareId();
  EXPECT_EQ(guid.Buffer(), "10.0cpu");
  const std::vector<std::string> queried = {"Win32_OperatingSystem", "Win32_Processor"};
  EXPECT_EQ(hardware.queried, queried);
}

TEST_F(FingerprintTest, OnlyTheSelectedPropertiesAreRead) {
  // Properties a real system may fail to read, none of them selected.
  hardware.unreadable = {"Win32_OperatingSystem.BuildNumber", "Win32_OperatingSystem.BuildType",
                         "Win32_OperatingSystem.Version", "Win32_Processor.UniqueId",
                         "Win32_Processor.ProcessorId"};
  TUQuorbinGUID guid(hardware);
  EXPECT_NO_THROW(guid.RETORNARGUID());
  EXPECT_EQ(guid.Buffer(), "SMPABC[X|Y]DEFGHI");
  using Names = std::vector<std::string>;
  EXPECT_EQ(hardware.asked["Win32_BaseBoard"],
            (Names{"SerialNumber", "Manufacturer", "Product", "Model"}));
  EXPECT_EQ(hardware.asked["Win32_OperatingSystem"],
            (Names{"Manufacturer", "Name", "SerialNumber"}));
  EXPECT_EQ(hardware.asked["Win32_BIOS"],
            (Names{"BIOSVersion", "BuildNumber", "Description", "Manufacturer", "Name",
                   "SerialNumber", "Version"}));
  EXPECT_FALSE(hardware.asked.contains("Win32_Processor"));
  // A selected one that cannot be read fails the fingerprint.
  hardware.unreadable = {"Win32_OperatingSystem.Name"};
  EXPECT_THROW(Fingerprint(), Failure);
}

TEST_F(FingerprintTest, UnreadablePropertyReachesTheCaller) {
  hardware.classes["Win32_BaseBoard"] = {{{{"SerialNumber", T("S")}}}};
  EXPECT_THROW(Fingerprint(), Failure);
}

TEST(Md5HexTest, KnownDigests) {
  EXPECT_EQ(Md5Hex(""), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(Md5Hex("abc"), "900150983CD24FB0D6963F7D28E17F72");
  EXPECT_EQ(Md5Hex("\xC3\xA7"), Md5Hex("?"));
  EXPECT_EQ(Md5Hex("\xE2\x82\xAC"), Md5Hex("?"));
}

}  // namespace
}  // namespace quorbin
