// The cookie store of the HTTP client, by the rules of RFC 6265: cookies are kept
// in memory per domain, path and name, expire as the server says (Max-Age before
// Expires; a cookie without either lasts for the process), and are sent back on
// later requests whose host and path they match, longest path first. Secure
// cookies are only sent over https, so never by this client.
//
// The store is bounded: a cookie above 4096 bytes is ignored, and beyond 50
// cookies of one domain or 300 in all the least recently used ones are dropped.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "api/http_url.h"

namespace quorbin {

using UtcClock = std::function<std::chrono::system_clock::time_point()>;

class CookieStore {
 public:
  explicit CookieStore(UtcClock now = std::chrono::system_clock::now) : now_(std::move(now)) {}

  // Takes the value of one Set-Cookie header of a response to `url`.
  void Take(const HttpUrl& url, std::string_view set_cookie);

  // "name=value; name2=value2" of the cookies that go with a request to `url`;
  // empty when none does.
  std::string CookieLine(const HttpUrl& url, bool secure_channel = false);

  std::size_t size() const { return cookies_.size(); }

 private:
  struct Cookie {
    std::string name;
    std::string value;
    std::string domain;
    std::string path;
    std::int64_t expiry = 0;  // seconds since 1970, UTC
    std::uint64_t creation = 0;
    std::uint64_t last_access = 0;
    bool host_only = true;
    bool secure_only = false;
  };

  std::int64_t NowSeconds() const;
  void DropExpired(std::int64_t now);
  void Store(Cookie cookie);
  void Evict(const std::string& domain);

  UtcClock now_;
  std::vector<Cookie> cookies_;
  std::uint64_t sequence_ = 0;  // orders creation and last access
};

}  // namespace quorbin
