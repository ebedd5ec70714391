#include "api/http_client.h"

#include "api/protocol_error.h"
#include "api/refused_body_text.h"
#include "api/response_reader.h"
#include "support/ascii_text.h"
#include "support/failure.h"

namespace quorbin {
namespace {

class SocketSource final : public ByteSource {
 public:
  SocketSource(platform::TcpSocket& socket, std::chrono::milliseconds idle_timeout)
      : socket_(socket), idle_timeout_(idle_timeout) {}

  std::size_t Receive(char* buffer, std::size_t capacity) override {
    std::size_t received = 0;
    if (auto error = socket_.Receive(buffer, capacity, idle_timeout_, received)) {
      throw Failure(SocketErrorMessage(*error));
    }
    return received;
  }

 private:
  platform::TcpSocket& socket_;
  std::chrono::milliseconds idle_timeout_;
};

bool AsksKeepAlive(const ResponseHead& head) {
  for (const char* name : {"Connection", "Proxy-Connection"}) {
    const auto value = head.Header(name);
    if (value && EqualsIgnoringCase(*value, "keep-alive")) return true;
  }
  return false;
}

}  // namespace

std::string SocketErrorMessage(const platform::SocketError& error) {
  return "Socket Error # " + std::to_string(error.number) + "\r\n" + error.description;
}

HttpClient::HttpClient(HttpLimits limits, UtcClock utc_now)
    : limits_(limits), cookies_(std::move(utc_now)) {}

std::string HttpClient::Post(std::string_view url, std::string_view body) {
  socket_.Close();
  broken_body_.clear();
  const HttpUrl parts = SplitHttpUrl(url);
  try {
    Connect(parts);
    socket_.SetDeadline(std::chrono::steady_clock::now() + limits_.exchange_timeout);
    return Exchange(parts, body);
  } catch (...) {
    socket_.Close();
    throw;
  }
}

// The name lookup and the connection share the connect time-out.
void HttpClient::Connect(const HttpUrl& url) {
  const auto deadline = std::chrono::steady_clock::now() + limits_.connect_timeout;
  std::uint32_t address = 0;
  if (auto error = platform::ResolveIpv4(url.host, address, limits_.connect_timeout)) {
    throw Failure(SocketErrorMessage(*error));
  }
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
  if (left <= std::chrono::milliseconds::zero()) {
    throw Failure(SocketErrorMessage(platform::TimedOutError()));
  }
  if (auto error = socket_.Connect(address, url.port, left)) {
    throw Failure(SocketErrorMessage(*error));
  }
}

std::string HttpClient::Exchange(const HttpUrl& url, std::string_view body) {
  const std::string head =
      BuildRequestHead(url, body.size(), request_, custom_, cookies_.CookieLine(url));
  for (const std::string_view part : {std::string_view(head), body}) {
    if (auto error = socket_.SendAll(part, limits_.idle_timeout)) {
      throw Failure(SocketErrorMessage(*error));
    }
  }

  SocketSource source(socket_, limits_.idle_timeout);
  ResponseReader reader(source, limits_.max_body_bytes);
  ResponseHead answer;
  do {
    answer = reader.ReadHead();
    response_text_ = answer.status_line;
    response_code_ = answer.status_code;
    for (const auto& set_cookie : answer.Headers("Set-Cookie")) cookies_.Take(url, set_cookie);
  } while (answer.status_code == 100);

  std::string answer_body;
  try {
    answer_body = reader.ReadBody(answer);
  } catch (const Failure&) {
    broken_body_ = reader.BodyReceivedSoFar();
    throw;
  }
  if (reader.PeerClosed() || !AsksKeepAlive(answer)) socket_.Close();
  if (answer.status_code >= 200 && answer.status_code <= 299) return answer_body;
  throw ProtocolError(answer.status_code, answer.status_line,
                      DecodeRefusedBody(answer_body, answer.Header("Content-Type").value_or("")));
}

}  // namespace quorbin
