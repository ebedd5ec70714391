// The terminal's login at the web API, once per process at start-up: it reads the
// NFC-e series (first row of PARAMETROS) and the emitter's CNPJ (first row of
// EMITENTE, reduced to its digits and capital letters: support/cnpj.h) on
// `fbquery`, computes the hardware fingerprint, posts
//   {"guid": "G", "old": true,"cnpj": "C","serie": "S"}
// in UTF-8 to BaseUrl + "pdv/login/" without an Authorization line, and sets
// ApiToken to the answer's text (one character per byte, ANSI code page) without
// its first and last character, whatever they are.
//
// A value that would break the JSON (a double quote, a backslash, a control
// character) is escaped (support/json_string_content.h, short forms); every
// other value goes in as it is.
//
// The login handles no failure: ProtocolError and every other failure reach the
// caller, with ApiToken unchanged. `trace` holds what the caller logs then: the
// answer's text (after an answer that broke in its body, the part that arrived)
// and the request body, each empty until it exists.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "api/api_client.h"
#include "store/query.h"

namespace quorbin {

struct LoginTrace {
  std::string response_text;
  std::string request_body;
};

void Login(Query& fbquery, ApiClient& api, const std::function<std::string()>& fingerprint,
           LoginTrace& trace);

// The terminal's values as the login sends them, read on `fbquery`.
struct LoginFields {
  std::string serie;
  std::string cnpj;
};
LoginFields ReadLoginFields(Query& fbquery);

// The login body for fingerprint G, CNPJ C and series S.
std::string LoginBody(std::string_view guid, std::string_view cnpj, std::string_view serie);

}  // namespace quorbin
