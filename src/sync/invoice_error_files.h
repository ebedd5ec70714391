// What the invoice phase leaves in the error folder for the people who support
// the terminal: the page of a refused upload, "cs_Sync_" + invoice number + "_" +
// year (four digits) + ".html", one per number and year, and copies of the XML
// files of rows that failed, each under its own file name.
//
// Neither name can leave the error folder: a name is only ever the part of its
// text after the last "/", "\" or ":", so a key such as "../x" or an absolute
// path puts the copy at the top of the folder under its last name.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "support/date_time.h"
#include "support/file_io.h"

namespace quorbin {

// "cs_Sync_123_2022.html" for invoice number text "123" in 2022 (local time).
std::string InvoiceErrorPageName(std::string_view number_text, DateTime now);

// The part of `path` after its last "/", "\" or ":" (all of it when there is none).
std::string ErrorCopyName(std::string_view path);

// Copies the file at `path` into `folder` under ErrorCopyName(path), replacing a
// file of that name (a link of that name is replaced, not followed). Nothing
// happens, and nothing is reported, when `path` is empty, is no regular file, has
// no usable name ("", "." or "..") or already is that copy, or when the copy
// fails. The copy is made through `io`.
void CopyIntoErrorFolder(std::string_view path, const std::filesystem::path& folder,
                         FileIo& io = RealFileIo()) noexcept;

}  // namespace quorbin
