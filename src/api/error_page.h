// The record of a refused request: ReportProtocolError writes the line
// "Erro ao enviar Post JSON:" + status line + ". " to the activity log and the
// answer's text as the page "cs_Sync_yyyy-mm-dd-hh-nn-ss.html" (local time) in the
// error folder, which it creates first when missing (a failure to create it is
// not reported). A page is the text split into lines (CR LF, a lone CR or a lone
// LF; a NUL ends the text), each written with CR LF, in the ANSI code page
// without a byte-order mark; an existing page of that name is replaced.
//
// The page is written through a FileIo (support/file_io.h), the system's unless
// another is handed in, and converted and written piece by piece: it costs little memory beyond
// the text, however many lines it has. Writing it raises Failure naming the file
// and the file system's reason ("Cannot create file \"...\": Permission denied.")
// when it cannot be done; the caller's boundary handles it.
#pragma once

#include <filesystem>
#include <string_view>

#include "api/protocol_error.h"
#include "support/activity_log.h"
#include "support/clock.h"
#include "support/date_time.h"
#include "support/file_io.h"

namespace quorbin {

// Returns the path of the page written.
std::filesystem::path ReportProtocolError(const ProtocolError& error, ActivityLog& log,
                                          const Clock& clock,
                                          const std::filesystem::path& error_folder,
                                          FileIo& io = RealFileIo());
// The same, in the error folder beside the executable.
std::filesystem::path ReportProtocolError(const ProtocolError& error, ActivityLog& log,
                                          const Clock& clock);

// The start of the log line of a refusal.
inline constexpr std::string_view kRefusalLogStart = "Erro ao enviar Post JSON:";
// kRefusalLogStart + the status line + ". ".
std::string ProtocolErrorLogLine(const ProtocolError& error);

// "cs_Sync_2024-03-05-14-07-09.html" for that moment.
std::string ErrorPageName(DateTime moment);

// Creates the folder with its parents; failures are ignored.
void CreateErrorFolder(const std::filesystem::path& folder) noexcept;

// Writes `text` as a page (see above).
void WriteErrorPage(const std::filesystem::path& page, std::string_view text,
                    FileIo& io = RealFileIo());

}  // namespace quorbin
