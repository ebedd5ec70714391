// The terminal's login at the web API, once per process at start-up: given the
// emitter's CNPJ C and the NFC-e series S (start-up reads them from the database:
// store/login_fields.h), it computes the hardware fingerprint G, posts
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

namespace quorbin {

struct LoginTrace {
  std::string response_text;
  std::string request_body;
};

void Login(ApiClient& api, std::string_view cnpj, std::string_view serie,
           const std::function<std::string()>& fingerprint, LoginTrace& trace);

// The login body for fingerprint G, CNPJ C and series S.
std::string LoginBody(std::string_view guid, std::string_view cnpj, std::string_view serie);

}  // namespace quorbin
