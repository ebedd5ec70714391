// The parts of a URL the client connects to.
#include "api/http_url.h"

#include <gtest/gtest.h>

#include "testing/turkish_locale.h"

namespace quorbin {
namespace {

TEST(SplitHttpUrlTest, SchemeAndHostFoldOnlyAsciiLettersEvenUnderATurkishLocale) {
  testing::TurkishLocale turkish;
  if (!turkish.available()) GTEST_SKIP() << "no Turkish locale can be made here";
  const HttpUrl url = SplitHttpUrl("HTTP://API.INVALID:82/api/Pdv/");
  EXPECT_EQ(url.host, "api.invalid");
  EXPECT_EQ(url.port, 82);
  EXPECT_EQ(url.target, "/api/Pdv/");
  EXPECT_EQ(SplitHttpUrl("http://Ma\xC3\x87\xC3\xA3.example/").host, "ma\xC3\x87\xC3\xA3.example");
}

}  // namespace
}  // namespace quorbin
