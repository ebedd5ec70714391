#include "api/http_url.h"

#include "support/ascii_text.h"
#include "support/failure.h"

namespace quorbin {
namespace {

std::uint16_t ParsePort(std::string_view text, std::string_view url) {
  unsigned value = 0;
  bool valid = !text.empty() && text.size() <= 5;
  for (const char c : text) {
    valid = valid && c >= '0' && c <= '9';
    if (valid) value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (!valid || value == 0 || value > 65535) {
    throw Failure("Invalid port in URL \"" + std::string(url) + "\".");
  }
  return static_cast<std::uint16_t>(value);
}

}  // namespace

std::string_view HttpUrl::Path() const {
  const std::string_view view = target;
  return view.substr(0, view.find('?'));
}

HttpUrl SplitHttpUrl(std::string_view url) {
  constexpr std::string_view kScheme = "http://";
  if (!EqualsIgnoringCase(url.substr(0, kScheme.size()), kScheme)) {
    throw Failure("Unsupported URL \"" + std::string(url) + "\": only http is spoken.");
  }
  std::string_view rest = url.substr(kScheme.size());
  rest = rest.substr(0, rest.find('#'));
  const std::size_t authority_end = rest.find_first_of("/?");
  std::string_view authority = rest.substr(0, authority_end);
  authority = authority.substr(authority.rfind('@') + 1);  // user information is not used

  HttpUrl parts;
  const std::size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos) {
    parts.port = ParsePort(authority.substr(colon + 1), url);
    authority = authority.substr(0, colon);
  }
  if (authority.empty()) throw Failure("No host in URL \"" + std::string(url) + "\".");
  parts.host = AsciiLowerText(authority);
  parts.target = authority_end == std::string_view::npos ? "" : rest.substr(authority_end);
  if (parts.target.empty() || parts.target.front() == '?') parts.target.insert(0, "/");
  return parts;
}

}  // namespace quorbin
