// The order in which a folder's entries are listed on every system: names
// compared with ASCII letters folded to upper case, as NTFS lists them; names
// equal under that rule are ordered bytewise.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

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

// Puts `entries` in ListedBefore order. Each name is folded once, so that the
// comparisons of a folder of thousands of files are plain byte comparisons.
inline void SortAsListed(std::vector<FolderEntry>& entries) {
  struct Keyed {
    std::string folded;
    FolderEntry entry;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(entries.size());
  for (FolderEntry& entry : entries) {
    std::string folded = entry.name;
    for (char& c : folded) c = static_cast<char>(FoldAscii(c));
    keyed.push_back({std::move(folded), std::move(entry)});
  }
  // std::string compares its bytes as unsigned values, as ListedBefore does.
  std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    if (const int order = a.folded.compare(b.folded); order != 0) return order < 0;
    return a.entry.name < b.entry.name;
  });
  for (std::size_t i = 0; i < keyed.size(); ++i) entries[i] = std::move(keyed[i].entry);
}

}  // namespace quorbin::platform
