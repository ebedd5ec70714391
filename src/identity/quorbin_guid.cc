#include "identity/quorbin_guid.h"

#include "identity/machine_value_text.h"
#include "identity/md5_hex.h"
#include "support/code_page.h"

namespace quorbin {

TUQuorbinGUID::TUQuorbinGUID()
    : own_source_(std::make_unique<SystemHardwareSource>()), source_(*own_source_) {}

std::string TUQuorbinGUID::RETORNARGUID() {
  FBuffer.clear();
  FMotherBoardInfo = {Mb_SerialNumber, Mb_Manufacturer, Mb_Product, Mb_Model};
  FOSInfo = {Os_Manufacturer, Os_Name, Os_SerialNumber};
  FBIOSInfo = {Bs_BIOSVersion, Bs_BuildNumber,  Bs_Description, Bs_Manufacturer,
               Bs_Name,        Bs_SerialNumber, Bs_Version};
  FProcessorInfo = {};
  GenerateHardwareId();
  return Md5Hex(AnsiToUtf8(FBuffer) + GetSystemVolumeSerial());
}

void TUQuorbinGUID::GenerateHardwareId() {
  Collect("Win32_BaseBoard", FMotherBoardInfo, kMotherBoardProperties);
  Collect("Win32_OperatingSystem", FOSInfo, kOSProperties);
  Collect("Win32_BIOS", FBIOSInfo, kBIOSProperties);
  Collect("Win32_Processor", FProcessorInfo, kProcessorProperties);
}

template <typename Member, std::size_t N>
void TUQuorbinGUID::Collect(const char* class_name, InfoSet<Member> set,
                            const std::array<const char*, N>& properties) {
  if (set.Empty()) return;
  std::vector<std::string> selected;
  for (std::size_t member = 0; member < N; ++member) {
    if (set.Contains(static_cast<Member>(member))) selected.emplace_back(properties[member]);
  }
  for (const auto& object : source_.Objects(class_name, selected)) {
    for (const std::string& name : selected) FBuffer += WmiValueToText(PropertyValue(object, name));
  }
}

std::string TUQuorbinGUID::GetSystemVolumeSerial() {
  const auto serial = source_.VolumeSerial();
  return serial ? std::to_string(*serial) : std::string();
}

}  // namespace quorbin
