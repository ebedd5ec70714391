#include "api/login.h"

#include <cstdio>

#include "support/code_page.h"
#include "support/failure.h"

namespace quorbin {

std::string JsonStringContent(std::string_view text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '"':
        escaped += "\\\"";
        break;
      case '\\':
        escaped += "\\\\";
        break;
      case '\b':
        escaped += "\\b";
        break;
      case '\f':
        escaped += "\\f";
        break;
      case '\n':
        escaped += "\\n";
        break;
      case '\r':
        escaped += "\\r";
        break;
      case '\t':
        escaped += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char code[8];
          std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned>(c));
          escaped += code;
        } else {
          escaped += c;
        }
    }
  }
  return escaped;
}

std::string LoginBody(std::string_view guid, std::string_view cnpj, std::string_view serie) {
  return "{\"guid\": \"" + JsonStringContent(guid) + "\", \"old\": true,\"cnpj\": \"" +
         JsonStringContent(cnpj) + "\",\"serie\": \"" + JsonStringContent(serie) + "\"}";
}

void Login(ApiClient& api, std::string_view cnpj, std::string_view serie,
           const std::function<std::string()>& fingerprint, LoginTrace& trace) {
  trace = {};
  api.PrepareJsonRequest(false);
  const std::string guid = fingerprint();
  trace.request_body = LoginBody(guid, cnpj, serie);

  std::string response;
  try {
    response = api.Post(api.BaseUrl() + std::string(kLoginEndpoint), trace.request_body);
  } catch (const Failure&) {
    // An answer that broke in its body leaves what arrived for the log (a refusal
    // or a failed connection leaves nothing).
    trace.response_text = AnsiToUtf8(api.httpreq().BrokenBody());
    throw;
  }
  trace.response_text = AnsiToUtf8(response);
  api.SetApiToken(response.size() < 3 ? std::string()
                                      : AnsiToUtf8(response.substr(1, response.size() - 2)));
}

}  // namespace quorbin
