#include "api/login.h"

#include "support/cnpj.h"
#include "support/code_page.h"
#include "support/failure.h"
#include "support/json_string_content.h"

namespace quorbin {

std::string LoginBody(std::string_view guid, std::string_view cnpj, std::string_view serie) {
  const auto json = [](std::string_view text) {
    return JsonStringContent(text, ControlEscapes::kShortForms);
  };
  return "{\"guid\": \"" + json(guid) + "\", \"old\": true,\"cnpj\": \"" + json(cnpj) +
         "\",\"serie\": \"" + json(serie) + "\"}";
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
