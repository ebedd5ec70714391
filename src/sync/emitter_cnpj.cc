#include "sync/emitter_cnpj.h"

namespace quorbin {

std::string ReadEmitterCnpj(Query& fbquery2) {
  RunStatement(fbquery2, "select cnpj from emitente");
  return fbquery2.Field(0).AsString();
}

}  // namespace quorbin
