// The folder search done the plainest way, for the search model to hold the
// agent's search to: nothing here is shared with the agent's listing, parser or
// file memory.
//
//  - PlainXmlFiles walks a tree with the standard library (and the system's own
//    calls for a file's identity and times): a folder's entries sorted by name
//    with ASCII letters folded to upper case, ties bytewise; links are what they
//    lead to; a folder reached twice in one walk is listed once; a file counts
//    when the part of its name from its last "." is ".xml" in any case.
//  - PlainFacts parses a document with a parser made for that one document
//    (libxml2 on Linux, an MSXML document object on Windows) and reads the
//    invoice element and its emitter and code by the agent's lookup rules.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quorbin::testing {

// What the file system says of a file: its identity (device and inode; volume
// serial and file index on Windows), size and times, in nanoseconds since 1970.
struct PlainStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modified_ns = 0;
  std::int64_t changed_ns = 0;

  // The moment of the latest change, as the search's stillness rule reads it.
  std::int64_t latest_ns() const { return modified_ns > changed_ns ? modified_ns : changed_ns; }
  auto operator<=>(const PlainStamp&) const = default;
};

// The stamp of the file at `path` (links followed); nothing when no file is
// there or it is a folder.
std::optional<PlainStamp> PlainStampOf(const std::filesystem::path& path);

// The full paths of the .xml entries below `root`, in listing order, as text:
// the root, then each name with the system's separator in front.
std::vector<std::string> PlainXmlFiles(const std::filesystem::path& root);

struct PlainFileFacts {
  enum class Shape { kNotLoaded, kNotInvoice, kFailed, kWithoutIde, kComparable };
  Shape shape = Shape::kNotLoaded;
  std::string failure;  // kNotLoaded: the load failure's message; kFailed: the lookup's
  std::string cnpj;
  std::string cnf;
};

PlainFileFacts PlainFacts(const std::string& bytes);

}  // namespace quorbin::testing
