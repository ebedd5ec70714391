// The machine's local wall-clock time and its regional display settings.
#pragma once

#include <string>

namespace quorbin::platform {

struct LocalTimeParts {
  int year;
  int month;  // 1 to 12
  int day;
  int hour;
  int minute;
  int second;
  int millisecond;
};

LocalTimeParts LocalNow();

struct RegionalSettings {
  std::string date_separator;
  std::string time_separator;
  std::string decimal_separator;
};

const RegionalSettings& CurrentRegionalSettings();

}  // namespace quorbin::platform
