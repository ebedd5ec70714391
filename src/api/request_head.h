// The head of a request as it goes on the wire: an HTTP/1.0 POST whose header
// lines and their order are fixed (connection, content type, length, the custom
// lines, host, accepted type, user agent, cookies), each ended by CR LF, and
// nothing else.
//
// No value can split or add a line: control characters other than the tab are
// removed from every value before it is written (CR and LF included), and a
// character outside ASCII is written as "?".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "api/http_url.h"

namespace quorbin {

inline constexpr std::string_view kUserAgent = "Mozilla/3.0 (compatible; Indy Library)";

struct HeaderLine {
  std::string name;
  std::string value;
};

// Extra header lines kept from one call to the next, in the order their names
// were first set.
class CustomHeaders {
 public:
  // Replaces the value of the line of that name (in any letter case) in place, or
  // adds the line at the end.
  void Set(std::string_view name, std::string value);
  const std::vector<HeaderLine>& lines() const { return lines_; }

 private:
  std::vector<HeaderLine> lines_;
};

// The fields of the next request that the caller sets up; an empty field writes
// no line.
struct RequestFields {
  std::string accept;
  std::string content_type;
  std::string charset;
  std::string user_agent{kUserAgent};
};

std::string BuildRequestHead(const HttpUrl& url, std::size_t body_length,
                             const RequestFields& fields, const CustomHeaders& custom,
                             std::string_view cookies);

// `value` as it may stand in a header line (see above).
std::string HeaderSafe(std::string_view value);

}  // namespace quorbin
