#include "sync/xml_file_list.h"

#include <set>
#include <utility>

#include "support/ascii_text.h"
#include "support/paths.h"

namespace quorbin {
namespace {

using FolderIdentity = std::pair<std::uint64_t, platform::FileStamp::Id>;

void Walk(const std::string& path, std::set<FolderIdentity>& listed, const XmlFileVisitor& visit) {
  const platform::OpenFolder folder(PathFromUtf8(path));
  if (!folder.is_open()) return;
  if (!listed.insert({folder.stamp().device, folder.stamp().inode}).second) return;
  std::string prefix = path;
  if (prefix.empty() || prefix.back() != std::filesystem::path::preferred_separator) {
    prefix += std::filesystem::path::preferred_separator;
  }
  std::string file = prefix;  // one buffer for the paths of all its files
  for (const auto& entry : folder.entries()) {
    if (entry.type == platform::EntryType::kFolder) {
      Walk(prefix + entry.name, listed, visit);
    } else if (HasXmlExtension(entry.name)) {
      file.resize(prefix.size());
      file += entry.name;
      visit(folder, entry.name, file);
    }
  }
}

}  // namespace

bool HasXmlExtension(std::string_view name) {
  const auto dot = name.rfind('.');
  return dot != std::string_view::npos && EqualsIgnoringCase(name.substr(dot), ".xml");
}

void ForEachXmlFile(const std::filesystem::path& folder, const XmlFileVisitor& visit) {
  std::set<FolderIdentity> listed;
  Walk(Utf8FromPath(folder), listed, visit);
}

std::vector<std::string> ListXmlFiles(const std::filesystem::path& folder) {
  std::vector<std::string> files;
  ForEachXmlFile(folder, [&](const platform::OpenFolder&, const std::string&,
                             const std::string& path) { files.push_back(path); });
  return files;
}

}  // namespace quorbin
