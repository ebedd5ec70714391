// The order in which a folder's entries are listed on every system: names
// compared with ASCII letters folded to upper case, as NTFS lists them; names
// equal under that rule are ordered bytewise.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
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

// Puts `entries` in ListedBefore order. The names are folded once, into one
// buffer, so that the comparisons of a folder of thousands of files are plain
// byte comparisons.
inline void SortAsListed(std::vector<FolderEntry>& entries) {
  std::size_t total = 0;
  for (const FolderEntry& entry : entries) total += entry.name.size();
  std::string folded(total, '\0');
  std::vector<std::size_t> starts;
  starts.reserve(entries.size() + 1);
  std::size_t at = 0;
  for (const FolderEntry& entry : entries) {
    starts.push_back(at);
    for (const char c : entry.name) folded[at++] = static_cast<char>(FoldAscii(c));
  }
  starts.push_back(at);
  const std::string_view all(folded);
  const auto key = [&](std::size_t i) { return all.substr(starts[i], starts[i + 1] - starts[i]); };
  std::vector<std::size_t> order(entries.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  // string_view compares its bytes as unsigned values, as ListedBefore does.
  std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    if (const int by_key = key(a).compare(key(b)); by_key != 0) return by_key < 0;
    return entries[a].name < entries[b].name;
  });
  std::vector<FolderEntry> sorted;
  sorted.reserve(entries.size());
  for (const std::size_t i : order) sorted.push_back(std::move(entries[i]));
  entries = std::move(sorted);
}

}  // namespace quorbin::platform
