// The parts of an http URL that a request needs: the host to connect to, the
// port (80 when the URL names none) and the request target (path and query).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorbin {

struct HttpUrl {
  std::string host;  // lower case
  std::uint16_t port = 80;
  std::string target;  // "/" when the URL has no path

  // The target without its query.
  std::string_view Path() const;
};

// Throws Failure for a URL that is not plain http or names no host or a bad port.
HttpUrl SplitHttpUrl(std::string_view url);

}  // namespace quorbin
