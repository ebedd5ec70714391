// The activity log: one line per call, "[dd/mm/yyyy hh:nn:ss] : message", in
// "log_sync.txt" beside the executable. A message with line breaks becomes several
// lines, only the first stamped. The file keeps the encoding it was found in (a
// UTF-8 or UTF-16 byte-order mark, else the ANSI code page); a new file is ANSI.
//
// Lines are appended. The first write of the process checks the existing file
// once and, when its line breaks are not all CR LF, it ends without a break or it
// holds a NUL, rewrites it whole as a line file; every later line costs the same
// whatever the size of the log.
//
// WriteLog never fails: the time of the call becomes LastLogTime first, and any
// failure to write is swallowed (the line is lost). Only a regular file is
// opened: a pipe or a device under the log's name loses the line without waiting.
// The file is written through a FileIo (support/file_io.h), the system's unless
// the log is handed another.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "support/clock.h"
#include "support/date_time.h"
#include "support/file_io.h"
#include "support/line_file.h"

namespace quorbin {

class ActivityLog {
 public:
  ActivityLog(std::filesystem::path file, const Clock& clock, FileIo& io = RealFileIo());

  // "log_sync.txt" in the executable directory.
  static std::filesystem::path DefaultPath();

  void WriteLog(std::string_view message) noexcept;

  DateTime LastLogTime() const { return last_log_time_; }
  void SetLastLogTime(DateTime moment) { last_log_time_ = moment; }

 private:
  void Write(DateTime now, std::string_view message);
  void RewriteWith(const std::vector<std::string>& lines);

  std::filesystem::path file_;
  const Clock& clock_;
  FileIo& io_;
  DateTime last_log_time_{};
  // Known once the file has been checked (or created) by this process, together
  // with the size this process left it at.
  std::optional<TextEncoding> encoding_;
  std::uintmax_t known_size_ = 0;
};

// "[dd/mm/yyyy hh:nn:ss] : " with the regional date and time separators.
std::string LogStamp(DateTime moment);

}  // namespace quorbin
