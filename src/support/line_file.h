// Line files: text files handled as lists of lines. Reading takes the encoding
// from a byte-order mark (EF BB BF UTF-8, FF FE UTF-16 LE, FE FF UTF-16 BE),
// otherwise the ANSI code page; splits at CR LF, a lone CR or a lone LF; the first
// NUL character ends the text. Writing puts CR LF after every line in the encoding
// that was read (with its mark), or in the ANSI code page without a mark, and
// replaces an existing file. Lines are held as UTF-8.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quorbin {

enum class TextEncoding { kAnsi, kUtf8, kUtf16Le, kUtf16Be };

struct LineFile {
  std::vector<std::string> lines;
  TextEncoding encoding = TextEncoding::kAnsi;
};

// The encoding named by the byte-order mark at the start of `bytes`, and the
// mark's length.
TextEncoding DetectEncoding(std::string_view bytes, std::size_t* mark_length = nullptr);

// The bytes of a file, decoded to UTF-8 without the mark and cut at the first NUL.
std::string DecodeText(std::string_view bytes, TextEncoding* encoding = nullptr);

// Lines of a text: a break at its very end does not start another line.
std::vector<std::string> SplitLines(std::string_view text);

// Appends `text` to `out` with every line break (CR LF, a lone CR, a lone LF)
// written as CR LF. A text given in pieces passes the same `after_cr` to each
// piece, so that a CR LF split between two pieces stays one break.
void AppendWithCrLf(std::string& out, std::string_view text, bool& after_cr);

// The lines of SplitLines(text), each followed by CR LF, without building them.
std::string CrLfLines(std::string_view text);

// The bytes of `utf8` in `encoding`, without a byte-order mark.
std::string EncodeText(std::string_view utf8, TextEncoding encoding);
std::string ByteOrderMark(TextEncoding encoding);

LineFile DecodeLineFile(std::string_view bytes);
std::string EncodeLineFile(const LineFile& file);

// Throw Failure when the file cannot be read or written.
std::string ReadFileBytes(const std::filesystem::path& path);
// The bytes of a file that other programs leave about: only a regular file (a
// link to one counts) of at most `max_bytes` is read; a folder, a pipe, a device
// or a larger file fails without a byte being read, so nothing here can wait for
// a writer or read without end.
std::string ReadRegularFileBytes(const std::filesystem::path& path, std::size_t max_bytes);
// Both open only a regular file (or a link to one); a pipe, a folder or a device
// under the name fails without being opened.
LineFile ReadLineFile(const std::filesystem::path& path);
void WriteLineFile(const std::filesystem::path& path, const LineFile& file);

}  // namespace quorbin
