// Set-Cookie headers as any bytes, taken into the cookie store the way the HTTP
// client takes them, and each header also read as a cookie-date. The first line
// is the host and path of the answer (a later request goes to the same place);
// every further line is one Set-Cookie value. Checks that the store stays within
// its bounds, that the Cookie line it builds can never break the request head
// (no CR, LF or NUL), and that a date it accepts is a real moment.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "api/cookie_date.h"
#include "api/cookie_store.h"
#include "api/http_url.h"
#include "support/ascii_text.h"

namespace {

// 2024-03-05 14:07:09 UTC: the store's clock stands still.
std::chrono::system_clock::time_point FixedNow() {
  return std::chrono::system_clock::time_point(std::chrono::seconds(1'709'647'629));
}

quorbin::HttpUrl UrlOf(std::string_view line) {
  quorbin::HttpUrl url;
  const std::size_t slash = line.find('/');
  url.host = quorbin::AsciiLowerText(line.substr(0, slash));
  if (url.host.empty()) url.host = "localhost";
  url.target = slash == std::string_view::npos ? "/" : std::string(line.substr(slash));
  return url;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t first_end = input.find('\n');
  const quorbin::HttpUrl url = UrlOf(input.substr(0, first_end));
  input = first_end == std::string_view::npos ? std::string_view{} : input.substr(first_end + 1);

  quorbin::CookieStore store(FixedNow);
  while (!input.empty()) {
    const std::size_t end = input.find('\n');
    const std::string_view set_cookie = input.substr(0, end);
    input = end == std::string_view::npos ? std::string_view{} : input.substr(end + 1);
    store.Take(url, set_cookie);
    if (const auto date = quorbin::ParseCookieDate(set_cookie)) {
      // Years 1601 to 9999, as a cookie-date allows.
      if (*date < -11'644'473'600LL || *date > 253'402'300'799LL) std::abort();
    }
  }
  if (store.size() > 300) std::abort();
  const std::string line = store.CookieLine(url);
  if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) std::abort();
  return 0;
}
