// The terminal's values the login sends, read from the point-of-sale database on
// `fbquery`: the NFC-e series (`NFCE_SERIE` of the first row of PARAMETROS) and
// the emitter's CNPJ (`cnpj` of the first row of EMITENTE, reduced to its digits
// and capital letters: support/cnpj.h). A table without rows or a NULL value
// reads as empty text.
//
// Both statements run in the query's usual cycle; the second query stays open on
// its row. A failure of either statement or a missing column reaches the caller.
#pragma once

#include <string>

#include "store/query.h"

namespace quorbin {

struct LoginFields {
  std::string serie;
  std::string cnpj;
};

LoginFields ReadLoginFields(Query& fbquery);

}  // namespace quorbin
