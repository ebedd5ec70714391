#include <sys/vfs.h>

#include <fstream>
#include <iterator>
#include <map>
#include <optional>

#include "platform/linux/machine_files_linux.h"
#include "platform/machine_description.h"

namespace quorbin::platform {
namespace {

constexpr std::size_t kMaxFileBytes = 64 * 1024;

std::optional<std::string> ReadSmallFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::string bytes(kMaxFileBytes, '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

// A one-value file: its text without one final line break.
std::optional<std::string> ReadValueFile(const std::filesystem::path& file) {
  auto text = ReadSmallFile(file);
  if (text && !text->empty() && text->back() == '\n') text->pop_back();
  return text;
}

std::optional<std::string> FirstLine(const std::filesystem::path& file) {
  auto text = ReadSmallFile(file);
  if (text) text->resize(text->find('\n') == std::string::npos ? text->size() : text->find('\n'));
  return text;
}

// The value of an os-release assignment: quotes removed, backslash escapes undone.
std::string OsReleaseValue(std::string_view raw) {
  if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front()) {
    const char quote = raw.front();
    raw = raw.substr(1, raw.size() - 2);
    if (quote == '\'') return std::string(raw);
  }
  std::string value;
  for (std::size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] == '\\' && i + 1 < raw.size()) ++i;
    value += raw[i];
  }
  return value;
}

std::map<std::string, std::string> ReadOsRelease(const std::filesystem::path& root) {
  auto text = ReadSmallFile(root / "etc/os-release");
  if (!text) text = ReadSmallFile(root / "usr/lib/os-release");
  std::map<std::string, std::string> fields;
  if (!text) return fields;
  std::string_view rest = *text;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
      line.remove_suffix(1);
    }
    const std::size_t equals = line.find('=');
    if (line.empty() || line.front() == '#' || equals == std::string_view::npos) continue;
    fields[std::string(line.substr(0, equals))] = OsReleaseValue(line.substr(equals + 1));
  }
  return fields;
}

MachineValue Field(const std::map<std::string, std::string>& fields, const std::string& key) {
  const auto found = fields.find(key);
  return found == fields.end() ? MachineValue::Null() : MachineValue::Text(found->second);
}

// The value after "key<blanks>: " in the first processor block of cpuinfo.
std::optional<std::string> CpuInfoField(const std::optional<std::string>& cpuinfo,
                                        std::string_view key) {
  if (!cpuinfo) return std::nullopt;
  std::string_view rest = *cpuinfo;
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    const std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    if (line.empty()) break;  // end of the first processor
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view name = line.substr(0, colon);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    if (name != key) continue;
    std::string_view value = line.substr(colon + 1);
    if (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    return std::string(value);
  }
  return std::nullopt;
}

MachineObject BaseBoard(const std::filesystem::path& dmi) {
  return {{{"SerialNumber", MachineValue::TextOrNull(ReadValueFile(dmi / "board_serial"))},
           {"Manufacturer", MachineValue::TextOrNull(ReadValueFile(dmi / "board_vendor"))},
           {"Product", MachineValue::TextOrNull(ReadValueFile(dmi / "board_name"))},
           {"Model", MachineValue::Null()},
           {"Version", MachineValue::TextOrNull(ReadValueFile(dmi / "board_version"))}}};
}

MachineObject OperatingSystem(const std::filesystem::path& root) {
  const auto release = ReadOsRelease(root);
  return {{{"BuildNumber", Field(release, "BUILD_ID")},
           {"BuildType", MachineValue::Null()},
           {"Manufacturer", Field(release, "NAME")},
           {"Name", Field(release, "PRETTY_NAME")},
           {"SerialNumber", MachineValue::TextOrNull(FirstLine(root / "etc/machine-id"))},
           {"Version", Field(release, "VERSION_ID")}}};
}

MachineObject Bios(const std::filesystem::path& dmi) {
  const auto version = ReadValueFile(dmi / "bios_version");
  const MachineValue versions =
      version ? MachineValue::Array({MachineValue::Text(*version)}) : MachineValue::Null();
  return {{{"BIOSVersion", versions},
           {"BuildNumber", MachineValue::Null()},
           {"Description", MachineValue::TextOrNull(version)},
           {"Manufacturer", MachineValue::TextOrNull(ReadValueFile(dmi / "bios_vendor"))},
           {"Name", MachineValue::TextOrNull(version)},
           {"SerialNumber", MachineValue::TextOrNull(ReadValueFile(dmi / "product_serial"))},
           {"Version", MachineValue::TextOrNull(ReadValueFile(dmi / "bios_date"))}}};
}

MachineObject Processor(const std::filesystem::path& root) {
  const auto cpuinfo = ReadSmallFile(root / "proc/cpuinfo");
  return {{{"Description", MachineValue::Null()},
           {"Manufacturer", MachineValue::TextOrNull(CpuInfoField(cpuinfo, "vendor_id"))},
           {"Name", MachineValue::TextOrNull(CpuInfoField(cpuinfo, "model name"))},
           {"ProcessorId", MachineValue::Null()},
           {"UniqueId", MachineValue::Null()}}};
}

}  // namespace

std::vector<MachineObject> DescribeMachineClass(std::string_view class_name,
                                                const std::filesystem::path& root) {
  const std::filesystem::path dmi = root / "sys/class/dmi/id";
  if (class_name == "Win32_BaseBoard") return {BaseBoard(dmi)};
  if (class_name == "Win32_OperatingSystem") return {OperatingSystem(root)};
  if (class_name == "Win32_BIOS") return {Bios(dmi)};
  if (class_name == "Win32_Processor") return {Processor(root)};
  return {};
}

struct MachineDescription::Connection {};

MachineDescription::MachineDescription() = default;
MachineDescription::~MachineDescription() = default;

std::vector<MachineObject> MachineDescription::Objects(std::string_view class_name,
                                                       const std::vector<std::string>& properties) {
  std::vector<MachineObject> objects;
  for (const MachineObject& described : DescribeMachineClass(class_name, "/")) {
    MachineObject& object = objects.emplace_back();
    for (const std::string& name : properties) {
      MachineValue value = MachineValue::Null();
      for (const auto& [property, described_value] : described.properties) {
        if (property == name) value = described_value;
      }
      object.properties.emplace_back(name, std::move(value));
    }
  }
  return objects;
}

// The file-system identifier of "/": for ext4 and btrfs it derives from the
// file system's UUID, so it survives reboots and changes when the disk is
// formatted anew, like a volume serial number.
std::optional<std::uint32_t> SystemVolumeSerial() {
  struct statfs info {};
  if (statfs("/", &info) != 0) return std::nullopt;
  return static_cast<std::uint32_t>(info.f_fsid.__val[0]);
}

}  // namespace quorbin::platform
