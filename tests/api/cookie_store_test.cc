// The cookie store's own rules: domains, paths, expiry and replacement. How
// cookies travel between calls is shown against the server in http_client_test.
#include "api/cookie_store.h"

#include <gtest/gtest.h>

namespace quorbin {
namespace {

constexpr std::int64_t kOct21_2015_072800 = 1445412480;

class CookieStoreTest : public ::testing::Test {
 protected:
  std::chrono::system_clock::time_point now =
      std::chrono::system_clock::time_point(std::chrono::seconds(kOct21_2015_072800));
  CookieStore store{[this] { return now; }};
  HttpUrl api = SplitHttpUrl("http://api.example.com:82/api/pdv/login/");
};

TEST_F(CookieStoreTest, DomainCookiesReachSubdomainsHostCookiesDoNot) {
  store.Take(api, "host=1; Path=/");
  store.Take(api, "wide=2; Domain=.Example.com; Path=/");
  store.Take(api, "alien=3; Domain=other.com; Path=/");
  store.Take(api, "narrow=4; Domain=deep.api.example.com; Path=/");
  EXPECT_EQ(store.CookieLine(SplitHttpUrl("http://api.example.com/api/pdv/x")), "host=1; wide=2");
  EXPECT_EQ(store.CookieLine(SplitHttpUrl("http://www.example.com/api/pdv/x")), "wide=2");
  EXPECT_EQ(store.CookieLine(SplitHttpUrl("http://badexample.com/api/pdv/x")), "");
}

TEST_F(CookieStoreTest, DefaultPathEndsBeforeTheLastSlash) {
  store.Take(api, "a=1");  // from /api/pdv/login/: path /api/pdv/login
  store.Take(SplitHttpUrl("http://api.example.com/api/pdv/receive"), "b=2");  // path /api/pdv
  EXPECT_EQ(store.CookieLine(SplitHttpUrl("http://api.example.com/api/pdv/login/")), "a=1; b=2");
  EXPECT_EQ(store.CookieLine(SplitHttpUrl("http://api.example.com/api/pdv/receive/")), "b=2");
  EXPECT_EQ(store.CookieLine(SplitHttpUrl("http://api.example.com/api/movimento/")), "");
}

TEST_F(CookieStoreTest, SameNameDomainAndPathReplacesAndMaxAgeBeatsExpires) {
  store.Take(api, "a=1; Path=/");
  store.Take(api, "b=2; Path=/");
  store.Take(api, "a=3; Path=/; Max-Age=10; Expires=Thu, 01 Jan 1970 00:00:00 GMT");
  EXPECT_EQ(store.CookieLine(api), "a=3; b=2") << "the replaced cookie keeps its age";
  now += std::chrono::seconds(10);
  EXPECT_EQ(store.CookieLine(api), "b=2");
  store.Take(api, "b=; Max-Age=0; Path=/");
  EXPECT_EQ(store.size(), 0u);
}

TEST_F(CookieStoreTest, MalformedAndOversizedCookiesAreIgnored) {
  store.Take(api, "novalue");
  store.Take(api, "=anonymous");
  store.Take(api, "split=a\rb");
  store.Take(api, "big=" + std::string(5000, 'x'));
  EXPECT_EQ(store.size(), 0u);
}

TEST_F(CookieStoreTest, StoreStaysBounded) {
  for (int i = 0; i < 80; ++i) store.Take(api, "c" + std::to_string(i) + "=1; Path=/");
  EXPECT_EQ(store.size(), 50u);
  EXPECT_EQ(store.CookieLine(api).substr(0, 9), "c30=1; c3") << "the oldest went first";
}

}  // namespace
}  // namespace quorbin
