// Property names are found without regard to ASCII case, whatever the locale.
#include "identity/hardware_source.h"

#include <gtest/gtest.h>

#include "testing/turkish_locale.h"

namespace quorbin {
namespace {

TEST(PropertyValueTest, NameMatchesWithoutCaseEvenUnderATurkishLocale) {
  platform::MachineObject object;
  object.properties = {{"SerialNumber", platform::MachineValue::Text("A1")},
                       {"Version", platform::MachineValue::Text("2")}};
  EXPECT_EQ(PropertyValue(object, "serialnumber").text, "A1");
  testing::TurkishLocale turkish;
  if (!turkish.available()) GTEST_SKIP() << "no Turkish locale can be made here";
  EXPECT_EQ(PropertyValue(object, "SERIALNUMBER").text, "A1");
  EXPECT_EQ(PropertyValue(object, "VersIon").text, "2");
}

}  // namespace
}  // namespace quorbin
