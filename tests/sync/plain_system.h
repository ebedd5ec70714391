// The system's part of the plain search (plain_invoice_search.h): a folder's
// identity, a file's stamp and a parser made for one document, each called
// directly on the system (plain_system_linux.cc, plain_system_windows.cc).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorbin::testing {

// A node of a parsed document as the agent's rules see it: elements with their
// qualified and local names and namespace, text and CDATA with their values,
// anything else (comments, processing instructions, references) as other. Text
// of white space only (blank, tab, CR, LF) is left out.
struct PlainXmlNode {
  enum class Kind { kDocument, kElement, kText, kCData, kOther };
  Kind kind = Kind::kDocument;
  std::string qualified;
  std::string local;
  std::string uri;
  std::string value;
  std::vector<PlainXmlNode> children;
};

// Parses `bytes` into `document` with a parser of its own; on failure, the load
// failure's message as the search logs it: reason, CR LF, "Line: N", CR LF and
// the first 40 characters of that line.
std::optional<std::string> ParsePlainXmlTree(const std::string& bytes, PlainXmlNode& document);

// The identity of the folder at `path` (links followed).
std::optional<std::pair<std::uint64_t, std::uint64_t>> PlainFolderIdentity(
    const std::filesystem::path& path);

// The first 40 characters of line `line` (1-based) of `bytes`; empty for line 0.
std::string PlainSourceLine(const std::string& bytes, int line);

}  // namespace quorbin::testing
