#include "support/cnpj.h"

namespace quorbin {

std::string CnpjCharacters(std::string_view text) {
  std::string kept;
  for (const char c : text) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) {
      kept += c;
    } else if (c >= 'a' && c <= 'z') {
      kept += static_cast<char>(c - 'a' + 'A');
    }
  }
  return kept;
}

}  // namespace quorbin
