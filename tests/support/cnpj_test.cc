#include "support/cnpj.h"

#include <gtest/gtest.h>

namespace quorbin {
namespace {

TEST(CnpjCharactersTest, KeepsDigitsAndLettersInCapitalsAndDropsTheRest) {
  const struct {
    const char* stored;
    const char* sent;
  } cases[] = {
      {"12345678000190", "12345678000190"},
      {"12.345.678/0001-90", "12345678000190"},
      {" 12 345 678 0001 90\t", "12345678000190"},
      {"12.ABC.345/01DE-35", "12ABC34501DE35"},
      {"12.abc.345/01de-35", "12ABC34501DE35"},
      {"12ABC34501DE35", "12ABC34501DE35"},
      // Letters outside ASCII are not CNPJ characters: their UTF-8 bytes go.
      {"12.\xC3\x87"
       "BC.345/01DE-35",
       "12BC34501DE35"},
      {"", ""},
      {"./- ", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CnpjCharacters(c.stored), c.sent) << c.stored;
  }
}

}  // namespace
}  // namespace quorbin
