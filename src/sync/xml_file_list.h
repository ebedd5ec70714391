// ListXmlFiles: every ".xml" file of a folder tree, as full paths, in listing
// order: the entries of a folder in the order the platform lists them, a
// subfolder's files in its place. The extension is the part of the name from its
// last ".", compared without regard to the case of ASCII letters (A.XML counts,
// a.xml.bak does not). Links to folders are descended like folders, but no folder
// is listed twice, so a link back into the tree cannot make the listing endless.
// A folder that does not exist or cannot be listed adds nothing; listing never
// fails.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quorbin {

std::vector<std::string> ListXmlFiles(const std::filesystem::path& folder);

bool HasXmlExtension(std::string_view name);

}  // namespace quorbin
