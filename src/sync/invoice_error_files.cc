#include "sync/invoice_error_files.h"

#include <cstdio>
#include <system_error>

#include "support/paths.h"

namespace quorbin {

std::string InvoiceErrorPageName(std::string_view number_text, DateTime now) {
  char year[16];
  std::snprintf(year, sizeof year, "%04d", now.ToCivil().year);
  return ErrorCopyName("cs_Sync_" + std::string(number_text) + "_" + year + ".html");
}

std::string ErrorCopyName(std::string_view path) {
  const std::size_t last_separator = path.find_last_of("/\\:");
  if (last_separator == std::string_view::npos) return std::string(path);
  return std::string(path.substr(last_separator + 1));
}

void CopyIntoErrorFolder(std::string_view path, const std::filesystem::path& folder,
                         FileIo& io) noexcept {
  namespace fs = std::filesystem;
  try {
    const std::string name = ErrorCopyName(path);
    if (name.empty() || name == "." || name == "..") return;
    const fs::path source = PathFromUtf8(path);
    const fs::path target = folder / PathFromUtf8(name);
    std::error_code error;
    if (!fs::is_regular_file(source, error)) return;
    if (fs::equivalent(source, target, error)) return;
    // Whatever stands there (a link included) is removed, not written through;
    // removing first also serves the systems whose copy cannot overwrite.
    const auto existing = fs::symlink_status(target, error);
    if (fs::is_symlink(existing) || fs::is_regular_file(existing)) fs::remove(target, error);
    io.Copy(source, target);
  } catch (...) {
    // A copy that cannot be made is not reported (out of memory included).
  }
}

}  // namespace quorbin
