#include "store/login_fields.h"

#include "support/cnpj.h"

namespace quorbin {

LoginFields ReadLoginFields(Query& fbquery) {
  LoginFields fields;
  RunStatement(fbquery, "SELECT NFCE_SERIE from PARAMETROS");
  fields.serie = fbquery.FieldByName("NFCE_SERIE").AsString();
  fbquery.Close();
  RunStatement(fbquery, "SELECT * from EMITENTE");
  fields.cnpj = CnpjCharacters(fbquery.FieldByName("cnpj").AsString());
  return fields;
}

}  // namespace quorbin
