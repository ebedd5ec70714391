// Where the Linux build reads the machine's description, below a root folder ("/"
// for the real machine; tests lay out their own):
//
//   Win32_BaseBoard        SerialNumber  sys/class/dmi/id/board_serial
//                          Manufacturer  sys/class/dmi/id/board_vendor
//                          Product       sys/class/dmi/id/board_name
//                          Model         Null (no source)
//                          Version       sys/class/dmi/id/board_version
//   Win32_OperatingSystem  BuildNumber   BUILD_ID of etc/os-release
//                          BuildType     Null (no source)
//                          Manufacturer  NAME of etc/os-release
//                          Name          PRETTY_NAME of etc/os-release
//                          SerialNumber  etc/machine-id
//                          Version       VERSION_ID of etc/os-release
//   Win32_BIOS             BIOSVersion   the list of the one text bios_version
//                          BuildNumber   Null (no source)
//                          Description   sys/class/dmi/id/bios_version
//                          Manufacturer  sys/class/dmi/id/bios_vendor
//                          Name          sys/class/dmi/id/bios_version
//                          SerialNumber  sys/class/dmi/id/product_serial
//                          Version       sys/class/dmi/id/bios_date
//   Win32_Processor        Description, ProcessorId, UniqueId  Null
//                          Manufacturer  vendor_id of proc/cpuinfo
//                          Name          model name of proc/cpuinfo
//
// Every class has exactly one object. A file that is missing or cannot be read
// (the serial numbers are readable by root only) gives Null; one line break at
// the end of a file is not part of the value. etc/os-release falls back to
// usr/lib/os-release.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

#include "platform/machine_description.h"

namespace quorbin::platform {

std::vector<MachineObject> DescribeMachineClass(std::string_view class_name,
                                                const std::filesystem::path& root);

}  // namespace quorbin::platform
