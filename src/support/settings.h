// The agent's switches in "sync.ini" beside the executable, section and key as
// the caller names them. The file is read afresh on every call and never written.
// A switch is an integer (see integer_text.h): not zero is true; a missing file,
// section or key, or a value that is not an integer, gives the default.
#pragma once

#include <filesystem>
#include <string_view>

namespace quorbin {

bool ReadSettingBool(const std::filesystem::path& settings_file, std::string_view section,
                     std::string_view key, bool default_value);

// The same, from "sync.ini" in the executable directory.
bool ReadSettingBool(std::string_view section, std::string_view key, bool default_value);

std::filesystem::path SettingsFilePath();

}  // namespace quorbin
