#include "sync/xml_file_list.h"

#include <set>
#include <utility>

#include "platform/folder_listing.h"

namespace quorbin {
namespace {

using FolderIdentity = std::pair<std::uint64_t, std::uint64_t>;

void ListInto(const std::string& folder, std::set<FolderIdentity>& listed,
              std::vector<std::string>& files) {
  const auto listing = platform::ListFolder(folder);
  if (!listing) return;
  if (!listed.insert({listing->folder.device, listing->folder.inode}).second) return;
  std::string prefix = folder;
  if (prefix.empty() || prefix.back() != std::filesystem::path::preferred_separator) {
    prefix += std::filesystem::path::preferred_separator;
  }
  for (const auto& entry : listing->entries) {
    if (entry.type == platform::EntryType::kFolder) {
      ListInto(prefix + entry.name, listed, files);
    } else if (HasXmlExtension(entry.name)) {
      files.push_back(prefix + entry.name);
    }
  }
}

}  // namespace

bool HasXmlExtension(std::string_view name) {
  const auto dot = name.rfind('.');
  if (dot == std::string_view::npos || name.size() - dot != 4) return false;
  static constexpr std::string_view kLower = ".xml";
  for (std::size_t i = 1; i < 4; ++i) {
    char c = name[dot + i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kLower[i]) return false;
  }
  return true;
}

std::vector<std::string> ListXmlFiles(const std::filesystem::path& folder) {
  std::set<FolderIdentity> listed;
  std::vector<std::string> files;
  ListInto(folder.string(), listed, files);
  return files;
}

}  // namespace quorbin
