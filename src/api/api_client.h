// The agent's standing with the web API, one for the process: where the API is
// (BaseUrl), the token the login obtained (ApiToken), and the HTTP client
// `httpreq` with the set-up every call makes first (PrepareJsonRequest).
//
// BaseUrl starts as the production URL ("http://" + the build's API host +
// ":82/api/"); start-up may switch it to the debug URL once. ApiToken starts
// empty; the login sets it once.
//
// A call: PrepareJsonRequest, build the body, Post(BaseUrl() + endpoint, body),
// then read the returned body or ResponseCode and ResponseText. Post raises
// ProtocolError for a refused answer and Failure when no answer arrives (see
// http_client.h).
#pragma once

#include <string>
#include <string_view>

#include "api/http_client.h"

namespace quorbin {

inline constexpr std::string_view kDebugBaseUrl = "http://localhost:8000/api/";
inline constexpr std::string_view kLoginEndpoint = "pdv/login/";
inline constexpr std::string_view kClosingEndpoint = "movimento/import_fechamento/";
inline constexpr std::string_view kInvoiceEndpoint = "pdv/receive/";

// "http://" + the production API host of the build + ":82/api/".
std::string ProductionBaseUrl();
// The address the switch DEBUG selects: the debug address when on, else the
// production one.
std::string SelectedBaseUrl(bool debug);

class ApiClient {
 public:
  explicit ApiClient(HttpLimits limits = {}, UtcClock utc_now = std::chrono::system_clock::now);

  const std::string& BaseUrl() const { return base_url_; }
  void SetBaseUrl(std::string url) { base_url_ = std::move(url); }
  const std::string& ApiToken() const { return api_token_; }
  void SetApiToken(std::string token) { api_token_ = std::move(token); }

  // Resets the request fields (not the custom lines), asks for and declares
  // JSON in utf-8, and with `withToken` sets "Authorization: Token " + ApiToken.
  void PrepareJsonRequest(bool withToken);

  std::string Post(std::string_view url, std::string_view body) { return httpreq_.Post(url, body); }
  int ResponseCode() const { return httpreq_.ResponseCode(); }
  const std::string& ResponseText() const { return httpreq_.ResponseText(); }

  HttpClient& httpreq() { return httpreq_; }

 private:
  HttpClient httpreq_;
  std::string base_url_ = ProductionBaseUrl();
  std::string api_token_;
};

}  // namespace quorbin
