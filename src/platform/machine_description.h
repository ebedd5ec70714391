// The machine as the operating system describes it: classes of objects (the base
// board, the operating system, the BIOS, the processors) whose properties carry
// dynamically typed values, and the serial number of the system volume. On
// Windows this is WMI and the volume "C:\"; on Linux the firmware's tables in
// /sys/class/dmi/id, /etc/os-release, /etc/machine-id, /proc/cpuinfo and the file
// system of "/" (see the Linux implementation for which file feeds which
// property).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorbin::platform {

// One property value, typed as the description delivers it.
struct MachineValue {
  enum class Kind {
    kEmpty,  // unassigned
    kNull,
    kInteger,   // signed, `integer`
    kUnsigned,  // unsigned 16 to 64 bits, `integer` holds the value
    kByte,      // unsigned 8 bits, `integer`
    kFloat,     // single, double or currency, `number`
    kDate,      // days from 1899-12-30 with the time as a fraction, `number`
    kBoolean,   // `boolean`
    kText,      // UTF-8 `text`
    kAnsiText,  // single-byte `text` in the ANSI code page
    kArray,     // `items`
  };

  Kind kind = Kind::kEmpty;
  std::int64_t integer = 0;
  double number = 0;
  bool boolean = false;
  std::string text;
  std::vector<MachineValue> items;

  static MachineValue Null() { return OfKind(Kind::kNull); }
  static MachineValue Text(std::string text) {
    MachineValue value = OfKind(Kind::kText);
    value.text = std::move(text);
    return value;
  }
  static MachineValue Array(std::vector<MachineValue> items) {
    MachineValue value = OfKind(Kind::kArray);
    value.items = std::move(items);
    return value;
  }
  static MachineValue OfKind(Kind kind) {
    MachineValue value;
    value.kind = kind;
    return value;
  }
  // A text, or Null when there is none.
  static MachineValue TextOrNull(const std::optional<std::string>& text) {
    return text ? Text(*text) : Null();
  }
};

struct MachineObject {
  std::vector<std::pair<std::string, MachineValue>> properties;
};

// The system's description of the machine, read one class at a time. On
// Windows the first query creates the WMI scripting locator and connects it to
// "root\cimv2" on this machine; the later queries of the same description use
// that connection (a connection that failed is tried again by the next query).
class MachineDescription {
 public:
  MachineDescription();
  ~MachineDescription();
  MachineDescription(const MachineDescription&) = delete;
  MachineDescription& operator=(const MachineDescription&) = delete;

  // The objects of one class, named as in WMI ("Win32_BaseBoard",
  // "Win32_OperatingSystem", "Win32_BIOS", "Win32_Processor"), in the order the
  // system delivers them, each with the named properties only, in the order
  // named: the others are never read. A property the system does not describe
  // for the class is Null; a class it does not describe has no objects. On
  // Windows a failure of WMI (no scripting locator, a refused connection, a
  // failed query, a named property that cannot be read) throws
  // std::runtime_error with the system's reason.
  std::vector<MachineObject> Objects(std::string_view class_name,
                                     const std::vector<std::string>& properties);

 private:
  struct Connection;
  std::unique_ptr<Connection> connection_;
};

// The serial number of the system volume, or nullopt when it cannot be read.
std::optional<std::uint32_t> SystemVolumeSerial();

}  // namespace quorbin::platform
