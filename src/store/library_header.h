// What a library file is, read from its first bytes before anything loads it: a
// Windows library (PE: the MZ stub, the "PE\0\0" signature, the machine and the
// optional header's magic of IMAGE_NT_HEADERS32 or IMAGE_NT_HEADERS64) or a
// Linux one (ELF), of which width, and whether the file holds every byte its
// headers promise. A library of the other width is never handed to the system's
// loader: its reason is said in words instead of the loader's bare message.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace quorbin {

enum class LibraryFormat { kUnknown, kPe, kElf };

struct LibraryHeader {
  bool readable = true;  // false when the file could not be opened or read
  LibraryFormat format = LibraryFormat::kUnknown;
  int bits = 0;         // 32 or 64 once the headers say it
  std::string machine;  // "x86", "x86-64", "ARM64", ...; empty when unknown
  std::string damage;   // empty when the headers are whole and the file is long enough
};

// The headers in `head`, the first bytes of a file of `file_size` bytes.
LibraryHeader ReadLibraryHeader(std::string_view head, std::uint64_t file_size);

// The headers of the file at `path` (its first 64 KiB are read); `damage` says
// when the file cannot be read.
LibraryHeader ReadLibraryHeaderOfFile(const std::filesystem::path& path);

// The format of this system's libraries.
#ifdef _WIN32
inline constexpr LibraryFormat kSystemLibraryFormat = LibraryFormat::kPe;
#else
inline constexpr LibraryFormat kSystemLibraryFormat = LibraryFormat::kElf;
#endif

// Why a process of `process_bits` on a system whose libraries are `system`
// cannot load the file of `header`, in words that follow the file's name ("is a
// 64-bit library; this agent is 32-bit"); empty when nothing in its headers
// stands in the way.
std::string LibraryMismatch(const LibraryHeader& header, int process_bits,
                            LibraryFormat system = kSystemLibraryFormat);

}  // namespace quorbin
