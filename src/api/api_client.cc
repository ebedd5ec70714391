#include "api/api_client.h"

namespace quorbin {

std::string SelectedBaseUrl(bool debug) {
  return debug ? std::string(kDebugBaseUrl) : ProductionBaseUrl();
}

std::string ProductionBaseUrl() {
  return std::string("http://") + QUORBIN_API_HOST + ":82/api/";
}

ApiClient::ApiClient(HttpLimits limits, UtcClock utc_now) : httpreq_(limits, std::move(utc_now)) {}

void ApiClient::PrepareJsonRequest(bool withToken) {
  RequestFields& request = httpreq_.Request();
  request = RequestFields{};
  request.accept = "application/json";
  request.content_type = "application/json";
  request.charset = "utf-8";
  if (withToken) httpreq_.Custom().Set("Authorization", "Token " + api_token_);
}

}  // namespace quorbin
