// The ".xml" files of a folder tree, in listing order: the entries of a folder in
// the order the platform lists them, a subfolder's files in its place. The
// extension is the part of the name from its last ".", compared without regard to
// the case of ASCII letters (A.XML counts, a.xml.bak does not). Links to folders
// are descended like folders, but no folder is listed twice, so a link back into
// the tree cannot make the listing endless. A folder that does not exist or
// cannot be listed adds nothing; listing never fails.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/folder_listing.h"

namespace quorbin {

// The full paths of the files.
std::vector<std::string> ListXmlFiles(const std::filesystem::path& folder);

// Calls `visit` with each file's open folder, name and full path, in the same
// order. A folder is listed when the walk reaches it, so a search examines the
// files of one folder while that folder is still open.
using XmlFileVisitor = std::function<void(const platform::OpenFolder& folder,
                                          const std::string& name, const std::string& path)>;
void ForEachXmlFile(const std::filesystem::path& folder, const XmlFileVisitor& visit);

bool HasXmlExtension(std::string_view name);

}  // namespace quorbin
