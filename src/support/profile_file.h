// Lookup of one value in a profile file ("[SECTION]" headers, "key=value"
// entries). Section and key names are compared without regard to letter case; the
// value is the rest of the line after the first "=", without surrounding blanks and
// without one matching pair of double or single quotation marks; at most 2047
// characters are returned. The first occurrence of a section or key counts. A
// missing or unreadable file, section or key gives the empty text.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quorbin {

std::string ReadProfileString(const std::filesystem::path& file, std::string_view section,
                              std::string_view key);

}  // namespace quorbin
