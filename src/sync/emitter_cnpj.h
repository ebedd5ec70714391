// The emitter's CNPJ as the folder search reads it: statement
// "select cnpj from emitente" on the secondary query `fbquery2`, the first column
// of the first row as text (empty text when the table has no row). The query
// stays open afterwards. A failure of the statement reaches the caller.
#pragma once

#include <string>

#include "store/query.h"

namespace quorbin {

std::string ReadEmitterCnpj(Query& fbquery2);

}  // namespace quorbin
