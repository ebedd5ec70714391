// TUQuorbinGUID: the hardware fingerprint of the machine. RETORNARGUID collects
// selected properties of the base board, the operating system and the BIOS back
// to back (GenerateHardwareId), appends the system volume's serial number in
// unsigned decimal, and returns the MD5 of that text as 32 upper-case hexadecimal
// digits. Nothing else enters it: no time, no random value, no network address.
//
// The selection is four sets of properties, one byte each, bit n for the member
// of ordinal n. Classes are handled in the order base board, operating system,
// BIOS, processor; a class whose set is empty is not queried; for each object in
// turn the selected properties follow in member order.
//
// Only the selected properties are asked of the source (the machine's
// description connects once for all the classes). A failure of the source (a
// selected property that cannot be read) reaches the caller; a volume serial
// that cannot be read contributes empty text.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "identity/hardware_source.h"

namespace quorbin {

enum TMotherBoardInfo : std::uint8_t { Mb_SerialNumber, Mb_Manufacturer, Mb_Product, Mb_Model };
enum TOSInfo : std::uint8_t {
  Os_BuildNumber,
  Os_BuildType,
  Os_Manufacturer,
  Os_Name,
  Os_SerialNumber,
  Os_Version
};
enum TBIOSInfo : std::uint8_t {
  Bs_BIOSVersion,
  Bs_BuildNumber,
  Bs_Description,
  Bs_Manufacturer,
  Bs_Name,
  Bs_SerialNumber,
  Bs_Version
};
enum TProcessorInfo : std::uint8_t {
  Pr_Description,
  Pr_Manufacturer,
  Pr_Name,
  Pr_ProcessorId,
  Pr_UniqueId
};

// A set over one of these enumerations, held in one byte.
template <typename Member>
class InfoSet {
 public:
  constexpr InfoSet() = default;
  constexpr explicit InfoSet(std::uint8_t bits) : bits_(bits) {}
  constexpr InfoSet(std::initializer_list<Member> members) {
    for (const Member member : members) bits_ |= static_cast<std::uint8_t>(1u << member);
  }
  constexpr bool Contains(Member member) const { return (bits_ >> member) & 1u; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr std::uint8_t Bits() const { return bits_; }

 private:
  std::uint8_t bits_ = 0;
};

using TMotherBoardInfoSet = InfoSet<TMotherBoardInfo>;
using TOSInfoSet = InfoSet<TOSInfo>;
using TBIOSInfoSet = InfoSet<TBIOSInfo>;
using TProcessorInfoSet = InfoSet<TProcessorInfo>;

inline constexpr std::array<const char*, 4> kMotherBoardProperties = {
    "SerialNumber", "Manufacturer", "Product", "Model"};
inline constexpr std::array<const char*, 6> kOSProperties = {
    "BuildNumber", "BuildType", "Manufacturer", "Name", "SerialNumber", "Version"};
inline constexpr std::array<const char*, 7> kBIOSProperties = {
    "BIOSVersion", "BuildNumber", "Description", "Manufacturer", "Name", "SerialNumber", "Version"};
inline constexpr std::array<const char*, 5> kProcessorProperties = {
    "Description", "Manufacturer", "Name", "ProcessorId", "UniqueId"};

class TUQuorbinGUID {
 public:
  // Reads the machine through the system's own description, connected once for
  // the life of this object.
  TUQuorbinGUID();
  explicit TUQuorbinGUID(HardwareSource& source) : source_(source) {}

  // The fingerprint: 32 characters from "0123456789ABCDEF".
  std::string RETORNARGUID();
  // Appends the texts of the selected properties to Buffer.
  void GenerateHardwareId();
  // The volume serial in unsigned decimal, or empty text.
  std::string GetSystemVolumeSerial();

  TMotherBoardInfoSet MotherBoardInfo() const { return FMotherBoardInfo; }
  void SetMotherBoardInfo(TMotherBoardInfoSet set) { FMotherBoardInfo = set; }
  TOSInfoSet OSInfo() const { return FOSInfo; }
  void SetOSInfo(TOSInfoSet set) { FOSInfo = set; }
  TBIOSInfoSet BIOSInfo() const { return FBIOSInfo; }
  void SetBIOSInfo(TBIOSInfoSet set) { FBIOSInfo = set; }
  TProcessorInfoSet ProcessorInfo() const { return FProcessorInfo; }
  void SetProcessorInfo(TProcessorInfoSet set) { FProcessorInfo = set; }
  // The collected texts, single bytes in the ANSI code page.
  const std::string& Buffer() const { return FBuffer; }

 private:
  template <typename Member, std::size_t N>
  void Collect(const char* class_name, InfoSet<Member> set,
               const std::array<const char*, N>& properties);

  TOSInfoSet FOSInfo;
  TBIOSInfoSet FBIOSInfo;
  TProcessorInfoSet FProcessorInfo;
  TMotherBoardInfoSet FMotherBoardInfo;
  std::string FBuffer;
  std::unique_ptr<HardwareSource> own_source_;
  HardwareSource& source_;
};

}  // namespace quorbin
