// The order in which a folder's entries are listed on every system: names
// compared with ASCII letters folded to upper case, as NTFS lists them; names
// equal under that rule are ordered bytewise.
#pragma once

#include <algorithm>
#include <cstddef>

#include "platform/folder_listing.h"

namespace quorbin::platform {

inline unsigned char FoldAscii(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte >= 'a' && byte <= 'z') ? static_cast<unsigned char>(byte - 'a' + 'A') : byte;
}

inline bool ListedBefore(const FolderEntry& a, const FolderEntry& b) {
  const std::size_t common = std::min(a.name.size(), b.name.size());
  for (std::size_t i = 0; i < common; ++i) {
    const unsigned char x = FoldAscii(a.name[i]);
    const unsigned char y = FoldAscii(b.name[i]);
    if (x != y) return x < y;
  }
  if (a.name.size() != b.name.size()) return a.name.size() < b.name.size();
  return a.name < b.name;
}

}  // namespace quorbin::platform
