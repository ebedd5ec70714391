#include "support/cnpj.h"

#include "support/ascii_text.h"

namespace quorbin {

std::string CnpjCharacters(std::string_view text) {
  std::string kept;
  for (const char c : text) {
    const char upper = AsciiUpper(c);
    if ((upper >= '0' && upper <= '9') || (upper >= 'A' && upper <= 'Z')) kept += upper;
  }
  return kept;
}

}  // namespace quorbin
