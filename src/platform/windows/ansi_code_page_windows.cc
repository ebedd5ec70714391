#include <windows.h>

#include <array>

#include "platform/ansi_code_page.h"

namespace quorbin::platform {
namespace {

// What each byte of the code page stands for, asked of the system once.
const std::array<char32_t, 256>& ByteTable() {
  static const std::array<char32_t, 256> table = [] {
    std::array<char32_t, 256> built{};
    for (unsigned byte = 0; byte < 256; ++byte) {
      const char single = static_cast<char>(byte);
      wchar_t wide = 0;
      built[byte] = MultiByteToWideChar(CP_ACP, 0, &single, 1, &wide, 1) == 1 ? wide : byte;
    }
    return built;
  }();
  return table;
}

}  // namespace

char32_t AnsiByteToCodePoint(unsigned char byte) {
  return byte < 0x80 ? byte : ByteTable()[byte];
}

char CodePointToAnsiByte(char32_t code_point) {
  if (code_point < 0x80) return static_cast<char>(code_point);
  wchar_t wide[2];
  int length = 1;
  if (code_point >= 0x10000) {  // a surrogate pair, which no ANSI code page holds
    if (code_point > 0x10FFFF) return '?';
    wide[0] = static_cast<wchar_t>(0xD800 + ((code_point - 0x10000) >> 10));
    wide[1] = static_cast<wchar_t>(0xDC00 + ((code_point - 0x10000) & 0x3FF));
    length = 2;
  } else {
    wide[0] = static_cast<wchar_t>(code_point);
  }
  char bytes[8];
  const int written =
      WideCharToMultiByte(CP_ACP, 0, wide, length, bytes, sizeof bytes, "?", nullptr);
  return written == 1 ? bytes[0] : '?';
}

}  // namespace quorbin::platform
