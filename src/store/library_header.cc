#include "store/library_header.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <iterator>
#include <system_error>

namespace quorbin {
namespace {

constexpr std::size_t kHeadBytes = 64 * 1024;

// Fields of `head` at `at` in the file's byte order; false past its end.
class Fields {
 public:
  Fields(std::string_view head, bool big_endian) : head_(head), big_endian_(big_endian) {}
  bool Has(std::uint64_t at, std::uint64_t length) const {
    return at <= head_.size() && length <= head_.size() - at;
  }
  std::uint64_t Read(std::uint64_t at, int length) const {
    std::uint64_t value = 0;
    for (int i = 0; i < length; ++i) {
      const int index = big_endian_ ? i : length - 1 - i;
      value = (value << 8) | static_cast<unsigned char>(head_[at + index]);
    }
    return value;
  }

 private:
  std::string_view head_;
  bool big_endian_;
};

std::string Truncated(std::uint64_t size, std::uint64_t needed) {
  return "is truncated: it has " + std::to_string(size) + " bytes of the " +
         std::to_string(needed) + " its headers announce";
}

// Where a table of `count` entries of `entry` bytes at `offset` ends; a 64-bit
// offset may put it past any number, which is said as the largest.
std::uint64_t TableEnd(std::uint64_t offset, std::uint64_t entry, std::uint64_t count) {
  std::uint64_t end = 0;
  if (__builtin_add_overflow(offset, entry * count, &end)) return UINT64_MAX;
  return end;
}

std::string Hex(std::uint64_t value) {
  char digits[16];
  char* end = std::to_chars(std::begin(digits), std::end(digits), value, 16).ptr;
  return "0x" + std::string(std::begin(digits), end);
}

std::string PeMachine(std::uint64_t machine) {
  switch (machine) {
    case 0x14c:
      return "x86";
    case 0x8664:
      return "x86-64";
    case 0xAA64:
      return "ARM64";
    case 0x1c4:
      return "ARM";
    case 0x200:
      return "Itanium";
    default:
      return "machine " + Hex(machine);
  }
}

std::string ElfMachine(std::uint64_t machine) {
  switch (machine) {
    case 3:
      return "x86";
    case 62:
      return "x86-64";
    case 183:
      return "ARM64";
    case 40:
      return "ARM";
    default:
      return "machine " + std::to_string(machine);
  }
}

LibraryHeader ReadPe(std::string_view head, std::uint64_t size) {
  LibraryHeader header;
  header.format = LibraryFormat::kPe;
  const Fields fields(head, false);
  if (size < 0x40) {
    header.damage = Truncated(size, 0x40);
    return header;
  }
  if (!fields.Has(0x3C, 4)) {
    header.damage = "cannot be read whole";
    return header;
  }
  const std::uint64_t nt = fields.Read(0x3C, 4);
  // The signature, the file header (20 bytes) and the optional header's magic.
  if (nt + 26 > size) {
    header.damage = Truncated(size, nt + 26);
    return header;
  }
  if (!fields.Has(nt, 26)) {
    header.format = LibraryFormat::kUnknown;
    header.damage = "its PE header lies beyond its first 64 KiB";
    return header;
  }
  if (head.substr(static_cast<std::size_t>(nt), 4) != std::string_view("PE\0\0", 4)) {
    header.format = LibraryFormat::kUnknown;
    header.damage = "it is an MZ file without a PE header";
    return header;
  }
  header.machine = PeMachine(fields.Read(nt + 4, 2));
  const std::uint64_t sections = fields.Read(nt + 6, 2);
  const std::uint64_t optional_size = fields.Read(nt + 20, 2);
  const std::uint64_t optional = nt + 24;
  const std::uint64_t magic = fields.Read(optional, 2);
  if (magic == 0x10b) {
    header.bits = 32;
  } else if (magic == 0x20b) {
    header.bits = 64;
  } else {
    header.damage = "has an optional header of unknown kind (magic " + Hex(magic) + ")";
    return header;
  }
  // Every byte the headers and the sections take must be in the file.
  std::uint64_t needed = optional + optional_size + sections * 40;
  if (optional_size >= 64 && fields.Has(optional + 60, 4)) {
    needed = std::max(needed, fields.Read(optional + 60, 4));  // SizeOfHeaders
  }
  const std::uint64_t table = optional + optional_size;
  for (std::uint64_t i = 0; i < sections && fields.Has(table + i * 40, 40); ++i) {
    const std::uint64_t raw_size = fields.Read(table + i * 40 + 16, 4);
    const std::uint64_t raw_pointer = fields.Read(table + i * 40 + 20, 4);
    if (raw_size) needed = std::max(needed, raw_pointer + raw_size);
  }
  if (needed > size) header.damage = Truncated(size, needed);
  return header;
}

LibraryHeader ReadElf(std::string_view head, std::uint64_t size) {
  LibraryHeader header;
  header.format = LibraryFormat::kElf;
  if (size < 16 || head.size() < 16) {
    header.damage = Truncated(size, 16);
    return header;
  }
  const int elf_class = head[4];
  const int data = head[5];
  if ((elf_class != 1 && elf_class != 2) || (data != 1 && data != 2)) {
    header.damage = "has an ELF header of unknown kind";
    return header;
  }
  header.bits = elf_class == 1 ? 32 : 64;
  const bool wide = header.bits == 64;
  const std::uint64_t header_size = wide ? 64 : 52;
  if (size < header_size || head.size() < header_size) {
    header.damage = Truncated(size, header_size);
    return header;
  }
  const Fields fields(head, data == 2);
  header.machine = ElfMachine(fields.Read(18, 2));
  const std::uint64_t program_offset = wide ? fields.Read(0x20, 8) : fields.Read(0x1C, 4);
  const std::uint64_t program_entry = fields.Read(wide ? 0x36 : 0x2A, 2);
  const std::uint64_t program_count = fields.Read(wide ? 0x38 : 0x2C, 2);
  const std::uint64_t section_offset = wide ? fields.Read(0x28, 8) : fields.Read(0x20, 4);
  const std::uint64_t section_entry = fields.Read(wide ? 0x3A : 0x2E, 2);
  const std::uint64_t section_count = fields.Read(wide ? 0x3C : 0x30, 2);
  std::uint64_t needed = header_size;
  if (program_offset)
    needed = std::max(needed, TableEnd(program_offset, program_entry, program_count));
  if (section_offset)
    needed = std::max(needed, TableEnd(section_offset, section_entry, section_count));
  if (needed > size) header.damage = Truncated(size, needed);
  return header;
}

// Built field by field: GCC 12 warns on a designated initializer that leaves a
// member out.
LibraryHeader Unknown(const std::string& damage, bool readable = true) {
  LibraryHeader header;
  header.readable = readable;
  header.damage = damage;
  return header;
}

std::string SystemName(LibraryFormat format) {
  return format == LibraryFormat::kPe ? "Windows" : "Linux";
}

std::string ProcessMachine(int process_bits) {
#if defined(__aarch64__) || defined(_M_ARM64)
  return process_bits == 64 ? "ARM64" : "ARM";
#else
  return process_bits == 64 ? "x86-64" : "x86";
#endif
}

}  // namespace

LibraryHeader ReadLibraryHeader(std::string_view head, std::uint64_t file_size) {
  if (file_size == 0) return Unknown("it is empty");
  if (head.starts_with("MZ")) return ReadPe(head, file_size);
  if (head.starts_with("\x7F"
                       "ELF"))
    return ReadElf(head, file_size);
  return Unknown("it starts with neither a PE nor an ELF header");
}

LibraryHeader ReadLibraryHeaderOfFile(const std::filesystem::path& path) {
  std::error_code error;
  const std::uint64_t size = std::filesystem::file_size(path, error);
  std::ifstream file(path, std::ios::binary);
  if (error || !file) return Unknown("cannot be read", false);
  std::string head(static_cast<std::size_t>(std::min<std::uint64_t>(size, kHeadBytes)), '\0');
  file.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(file.gcount()));
  return ReadLibraryHeader(head, size);
}

std::string LibraryMismatch(const LibraryHeader& header, int process_bits, LibraryFormat system) {
  if (!header.readable) return header.damage;
  if (header.format == LibraryFormat::kUnknown) {
    return "is not a " + SystemName(system) + " library (" +
           (header.damage.empty() ? "of unknown format" : header.damage) + ")";
  }
  if (header.format != system) {
    return "is a " + SystemName(header.format) + " library, not a " + SystemName(system) + " one";
  }
  if (header.bits && header.bits != process_bits) {
    return "is a " + std::to_string(header.bits) + "-bit library; this agent is " +
           std::to_string(process_bits) + "-bit";
  }
  if (!header.machine.empty() && header.machine != ProcessMachine(process_bits)) {
    return "is a library for " + header.machine + " processors; this agent is " +
           ProcessMachine(process_bits);
  }
  return header.damage;
}

}  // namespace quorbin
