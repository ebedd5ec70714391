// The cookie-date algorithm: the forms servers send, and the dates it refuses.
#include "api/cookie_date.h"

#include <gtest/gtest.h>

namespace quorbin {
namespace {

constexpr std::int64_t kOct21_2015_072800 = 1445412480;

TEST(CookieDateTest, ReadsTheUsualFormsAndRefusesTheRest) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> seconds;
  } cases[] = {
      {"Wed, 21 Oct 2015 07:28:00 GMT", kOct21_2015_072800},
      {"Wednesday, 21-Oct-15 07:28:00 GMT", kOct21_2015_072800},
      {"Wed Oct 21 07:28:00 2015", kOct21_2015_072800},
      {"21 october 2015 7:28:0", kOct21_2015_072800},
      {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
      {"Wed, 21 Oct 2015", std::nullopt},  // no time
      {"Wed, 32 Oct 2015 07:28:00 GMT", std::nullopt},
      {"Wed, 31 Feb 2015 07:28:00 GMT", std::nullopt},
      {"Wed, 21 Oct 1600 07:28:00 GMT", std::nullopt},
      {"Wed, 21 Oct 2015 24:00:00 GMT", std::nullopt},
      {"tomorrow", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseCookieDate(c.text), c.seconds) << c.text;
  }
}

}  // namespace
}  // namespace quorbin
