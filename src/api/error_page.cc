#include "api/error_page.h"

#include <cstdio>

#include "support/line_file.h"
#include "support/paths.h"

namespace quorbin {

std::string ProtocolErrorLogLine(const ProtocolError& error) {
  return std::string("Erro ao enviar Post JSON:") + error.what() + ". ";
}

std::string ErrorPageName(DateTime moment) {
  const CivilTime t = moment.ToCivil();
  char name[64];
  std::snprintf(name, sizeof name, "cs_Sync_%04d-%02d-%02d-%02d-%02d-%02d.html", t.year, t.month,
                t.day, t.hour, t.minute, t.second);
  return name;
}

void CreateErrorFolder(const std::filesystem::path& folder) noexcept {
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
}

void WriteErrorPage(const std::filesystem::path& page, std::string_view text) {
  text = text.substr(0, text.find('\0'));
  WriteLineFile(page, LineFile{SplitLines(text), TextEncoding::kAnsi});
}

std::filesystem::path ReportProtocolError(const ProtocolError& error, ActivityLog& log,
                                          const Clock& clock,
                                          const std::filesystem::path& error_folder) {
  log.WriteLog(ProtocolErrorLogLine(error));
  CreateErrorFolder(error_folder);
  const std::filesystem::path page = error_folder / ErrorPageName(clock.Now());
  WriteErrorPage(page, error.ErrorMessage());
  return page;
}

std::filesystem::path ReportProtocolError(const ProtocolError& error, ActivityLog& log,
                                          const Clock& clock) {
  return ReportProtocolError(error, log, clock, ErrorFolder());
}

}  // namespace quorbin
