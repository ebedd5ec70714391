// The first bytes of library files, made up for the tests of what the agent reads
// from a file's headers before it loads it: a Windows library (PE) or a Linux one
// (ELF) of either width, whole or cut short.
#pragma once

#include <cstdint>
#include <string>

namespace quorbin::testing {

// A PE library of `bits` for `machine` (0x14c x86, 0x8664 x86-64, 0xAA64 ARM64),
// 1024 bytes long: headers, then one section of 512 bytes at offset 512.
inline std::string PeLibrary(int bits, std::uint16_t machine) {
  std::string bytes(1024, '\0');
  const auto put = [&](std::size_t at, std::uint32_t value, int length) {
    for (int i = 0; i < length; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  bytes[0] = 'M';
  bytes[1] = 'Z';
  put(0x3C, 0x80, 4);
  bytes.replace(0x80, 4, std::string("PE\0\0", 4));
  put(0x84, machine, 2);
  put(0x86, 1, 2);  // one section
  const std::uint32_t optional_size = bits == 64 ? 240 : 224;
  put(0x94, optional_size, 2);
  put(0x98, bits == 64 ? 0x20b : 0x10b, 2);  // PE32+ or PE32
  put(0x98 + 60, 0x200, 4);                  // SizeOfHeaders
  const std::size_t section = 0x98 + optional_size;
  bytes.replace(section, 5, ".text");
  put(section + 16, 0x200, 4);  // SizeOfRawData
  put(section + 20, 0x200, 4);  // PointerToRawData
  return bytes;
}

// An ELF shared object of `bits` for x86 (3) or x86-64 (62), 1024 bytes long,
// its section headers at its end.
inline std::string ElfLibrary(int bits, std::uint16_t machine) {
  std::string bytes(1024, '\0');
  const auto put = [&](std::size_t at, std::uint64_t value, int length) {
    for (int i = 0; i < length; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  bytes.replace(0, 4,
                "\x7F"
                "ELF");
  bytes[4] = bits == 64 ? 2 : 1;
  bytes[5] = 1;  // little-endian
  bytes[6] = 1;
  put(16, 3, 2);  // ET_DYN
  put(18, machine, 2);
  if (bits == 64) {
    put(0x28, 1024 - 4 * 64, 8);  // e_shoff
    put(0x3A, 64, 2);
    put(0x3C, 4, 2);
  } else {
    put(0x20, 1024 - 4 * 40, 4);
    put(0x2E, 40, 2);
    put(0x30, 4, 2);
  }
  return bytes;
}

// A library of this system's format, of `bits`, for this processor family.
inline std::string SystemLibrary(int bits) {
#ifdef _WIN32
  return PeLibrary(bits, bits == 64 ? 0x8664 : 0x14c);
#else
  return ElfLibrary(bits, bits == 64 ? 62 : 3);
#endif
}

}  // namespace quorbin::testing
