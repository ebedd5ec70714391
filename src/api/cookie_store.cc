#include "api/cookie_store.h"

#include <algorithm>
#include <limits>

#include "api/cookie_date.h"
#include "support/ascii_text.h"

namespace quorbin {
namespace {

constexpr std::size_t kMaxCookieBytes = 4096;
constexpr std::size_t kMaxPerDomain = 50;
constexpr std::size_t kMaxCookies = 300;
constexpr std::int64_t kLatest = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kEarliest = std::numeric_limits<std::int64_t>::min();

std::string_view Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsIpv4Address(std::string_view host) {
  return !host.empty() && host.find_first_not_of("0123456789.") == std::string_view::npos;
}

// RFC 6265 5.1.3.
bool DomainMatches(std::string_view host, std::string_view domain) {
  if (host == domain) return true;
  return host.size() > domain.size() && host.ends_with(domain) &&
         host[host.size() - domain.size() - 1] == '.' && !IsIpv4Address(host);
}

// RFC 6265 5.1.4.
std::string DefaultPath(std::string_view request_path) {
  if (request_path.empty() || request_path.front() != '/') return "/";
  const std::size_t last = request_path.rfind('/');
  return last == 0 ? "/" : std::string(request_path.substr(0, last));
}

bool PathMatches(std::string_view request_path, std::string_view cookie_path) {
  if (request_path == cookie_path) return true;
  if (!request_path.starts_with(cookie_path)) return false;
  return cookie_path.back() == '/' || request_path[cookie_path.size()] == '/';
}

// Max-Age: an optional "-" and digits; a value at or below zero means "now".
std::optional<std::int64_t> ParseMaxAge(std::string_view text) {
  const bool negative = !text.empty() && text.front() == '-';
  const std::string_view digits = negative ? text.substr(1) : text;
  if (digits.empty() || !std::all_of(digits.begin(), digits.end(), IsDigit)) return std::nullopt;
  if (negative) return std::int64_t{0};
  std::int64_t value = 0;
  for (const char c : digits) {
    if (value > (kLatest - 9) / 10) return kLatest;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace

std::int64_t CookieStore::NowSeconds() const {
  return std::chrono::duration_cast<std::chrono::seconds>(now_().time_since_epoch()).count();
}

void CookieStore::Take(const HttpUrl& url, std::string_view set_cookie) {
  if (set_cookie.size() > kMaxCookieBytes) return;
  for (const char c : set_cookie) {
    const auto u = static_cast<unsigned char>(c);
    if ((u < 0x20 && u != '\t') || u == 0x7F) return;  // a control character spoils it all
  }
  const std::size_t pair_end = set_cookie.find(';');
  const std::string_view pair = set_cookie.substr(0, pair_end);
  const std::size_t equals = pair.find('=');
  if (equals == std::string_view::npos) return;
  Cookie cookie;
  cookie.name = Trim(pair.substr(0, equals));
  cookie.value = Trim(pair.substr(equals + 1));
  if (cookie.name.empty()) return;

  const std::int64_t now = NowSeconds();
  std::optional<std::int64_t> max_age_expiry, expires;
  std::string domain, path;
  std::string_view attributes =
      pair_end == std::string_view::npos ? std::string_view{} : set_cookie.substr(pair_end + 1);
  while (!attributes.empty()) {
    const std::size_t end = attributes.find(';');
    const std::string_view attribute = attributes.substr(0, end);
    attributes = end == std::string_view::npos ? std::string_view{} : attributes.substr(end + 1);
    const std::size_t eq = attribute.find('=');
    const std::string_view name = Trim(attribute.substr(0, eq));
    const std::string_view value =
        eq == std::string_view::npos ? std::string_view{} : Trim(attribute.substr(eq + 1));
    if (EqualsIgnoringCase(name, "expires")) {
      if (const auto date = ParseCookieDate(value)) expires = date;
    } else if (EqualsIgnoringCase(name, "max-age")) {
      if (const auto seconds = ParseMaxAge(value)) {
        max_age_expiry =
            *seconds <= 0 ? kEarliest : (*seconds > kLatest - now ? kLatest : now + *seconds);
      }
    } else if (EqualsIgnoringCase(name, "domain")) {
      if (!value.empty()) domain = AsciiLowerText(value.front() == '.' ? value.substr(1) : value);
    } else if (EqualsIgnoringCase(name, "path")) {
      path = (!value.empty() && value.front() == '/') ? std::string(value) : std::string();
    } else if (EqualsIgnoringCase(name, "secure")) {
      cookie.secure_only = true;
    }
  }

  cookie.expiry = max_age_expiry ? *max_age_expiry : expires ? *expires : kLatest;
  if (!domain.empty()) {
    if (!DomainMatches(url.host, domain)) return;
    cookie.host_only = false;
    cookie.domain = domain;
  } else {
    cookie.domain = url.host;
  }
  cookie.path = path.empty() ? DefaultPath(url.Path()) : path;
  const std::string stored_domain = cookie.domain;
  Store(std::move(cookie));
  DropExpired(now);
  Evict(stored_domain);
}

void CookieStore::Store(Cookie cookie) {
  const auto same = std::find_if(cookies_.begin(), cookies_.end(), [&](const Cookie& old) {
    return old.name == cookie.name && old.domain == cookie.domain && old.path == cookie.path;
  });
  cookie.last_access = ++sequence_;
  if (same != cookies_.end()) {
    cookie.creation = same->creation;
    *same = std::move(cookie);
  } else {
    cookie.creation = cookie.last_access;
    cookies_.push_back(std::move(cookie));
  }
}

void CookieStore::DropExpired(std::int64_t now) {
  std::erase_if(cookies_, [now](const Cookie& cookie) { return cookie.expiry <= now; });
}

void CookieStore::Evict(const std::string& domain) {
  const auto least_recent = [](const Cookie& a, const Cookie& b) {
    return a.last_access < b.last_access;
  };
  const auto of_domain = [&](const Cookie& c) { return c.domain == domain; };
  while (static_cast<std::size_t>(std::count_if(cookies_.begin(), cookies_.end(), of_domain)) >
         kMaxPerDomain) {
    auto oldest = std::find_if(cookies_.begin(), cookies_.end(), of_domain);
    for (auto it = oldest; it != cookies_.end(); ++it) {
      if (of_domain(*it) && least_recent(*it, *oldest)) oldest = it;
    }
    cookies_.erase(oldest);
  }
  while (cookies_.size() > kMaxCookies) {
    cookies_.erase(std::min_element(cookies_.begin(), cookies_.end(), least_recent));
  }
}

std::string CookieStore::CookieLine(const HttpUrl& url, bool secure_channel) {
  DropExpired(NowSeconds());
  std::vector<Cookie*> matching;
  for (auto& cookie : cookies_) {
    const bool host_ok =
        cookie.host_only ? url.host == cookie.domain : DomainMatches(url.host, cookie.domain);
    if (host_ok && PathMatches(url.Path(), cookie.path) &&
        (secure_channel || !cookie.secure_only)) {
      matching.push_back(&cookie);
    }
  }
  std::stable_sort(matching.begin(), matching.end(), [](const Cookie* a, const Cookie* b) {
    if (a->path.size() != b->path.size()) return a->path.size() > b->path.size();
    return a->creation < b->creation;
  });
  std::string line;
  for (Cookie* cookie : matching) {
    if (!line.empty()) line += "; ";
    line += cookie->name + "=" + cookie->value;
    cookie->last_access = ++sequence_;
  }
  return line;
}

}  // namespace quorbin
