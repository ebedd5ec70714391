#include "support/settings.h"

#include "platform/executable.h"
#include "support/integer_text.h"
#include "support/profile_file.h"

namespace quorbin {

bool ReadSettingBool(const std::filesystem::path& settings_file, std::string_view section,
                     std::string_view key, bool default_value) {
  const auto value = TryParseInteger(ReadProfileString(settings_file, section, key));
  return value ? *value != 0 : default_value;
}

bool ReadSettingBool(std::string_view section, std::string_view key, bool default_value) {
  return ReadSettingBool(SettingsFilePath(), section, key, default_value);
}

std::filesystem::path SettingsFilePath() {
  return platform::ExecutableDirectory() / "sync.ini";
}

}  // namespace quorbin
