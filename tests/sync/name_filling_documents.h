// Well-formed documents that fill what libxml2 keeps of the element names it
// meets, when one parser context reads them all: ten documents of 40 distinct
// names of 49,000 characters (just below libxml2's longest name; about 20 MB in
// all, beyond its 10,000,000-byte limit on kept names), then three documents of
// ever shorter distinct names that take up the room left beside them. The short
// ones begin with a byte-order mark, which keeps them from the plain reader.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

namespace quorbin::testing {

inline std::vector<std::string> NameFillingDocuments() {
  int next_name = 0;
  auto names = [&](int count, int length) {
    std::string text = "<odd>";
    for (int i = 0; i < count; ++i) {
      std::string name = "q" + std::to_string(next_name++);
      name.resize(std::max(static_cast<std::size_t>(length), name.size()), 'y');
      text += "<" + name + "/>";
    }
    return text + "</odd>";
  };
  std::vector<std::string> documents;
  for (int i = 0; i < 10; ++i) documents.push_back(names(40, 49'000));
  next_name = 0;
  documents.push_back("\xEF\xBB\xBF" + names(6000, 64));
  documents.push_back("\xEF\xBB\xBF" + names(200, 16));
  documents.push_back("\xEF\xBB\xBF" + names(100, 3));
  return documents;
}

}  // namespace quorbin::testing
