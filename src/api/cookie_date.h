// The date of a cookie's Expires attribute, read by the cookie-date algorithm of
// RFC 6265 (5.1.1): the text is cut into tokens at the delimiters, and the first
// token that reads as a time (h:m:s, one or two digits each), a day of the month
// (one or two digits), a month (its English name, the first three letters
// without regard to case) and a year (two to four digits; 70 to 99 are 19xx, 0
// to 69 are 20xx) gives each part; other tokens are passed over. The date is
// refused when a part is missing or out of range (a day the month lacks, a year
// before 1601, 24:00:00). Times are UTC. A pure function: no clock, no locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace quorbin {

// Seconds since 1970-01-01 00:00:00 UTC, or nullopt when `text` is not a date.
std::optional<std::int64_t> ParseCookieDate(std::string_view text);

}  // namespace quorbin
