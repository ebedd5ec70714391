#include <windows.h>

#include "platform/local_time.h"
#include "platform/windows/wide_text_windows.h"

namespace quorbin::platform {
namespace {

std::string LocaleText(LCTYPE item, const char* fallback) {
  wchar_t buffer[16] = {};
  const int length = GetLocaleInfoW(LOCALE_USER_DEFAULT, item, buffer, 16);
  return length > 1 ? Utf8FromWide(std::wstring_view(buffer, static_cast<std::size_t>(length - 1)))
                    : std::string(fallback);
}

}  // namespace

LocalTimeParts LocalNow() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return LocalTimeParts{now.wYear,   now.wMonth,  now.wDay,         now.wHour,
                        now.wMinute, now.wSecond, now.wMilliseconds};
}

const RegionalSettings& CurrentRegionalSettings() {
  static const RegionalSettings settings{LocaleText(LOCALE_SDATE, "/"),
                                         LocaleText(LOCALE_STIME, ":"),
                                         LocaleText(LOCALE_SDECIMAL, ",")};
  return settings;
}

}  // namespace quorbin::platform
