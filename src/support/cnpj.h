// The emitter's CNPJ as the agent sends it and compares it with the CNPJ of an
// invoice document. Since July 2026 a CNPJ may hold capital letters in its first
// twelve positions ("12.ABC.345/01DE-35"), so the punctuation a point-of-sale
// program stores is dropped while letters and digits stay in their order.
#pragma once

#include <string>
#include <string_view>

namespace quorbin {

// The digits and the ASCII letters of `text`, in their order, letters turned to
// capitals; everything else (dots, slash, hyphen, blanks, bytes outside ASCII)
// is dropped. A CNPJ of digits only comes back as its digits.
std::string CnpjCharacters(std::string_view text);

}  // namespace quorbin
