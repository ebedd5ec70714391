// HttpClient: the agent's one HTTP client. Every Post opens a new TCP connection
// (closing the previous one first) to the IPv4 address of the URL's host, sends
// one HTTP/1.0 POST (see request_head.h) and reads one answer:
//   - 100 answers are skipped; every status line received becomes ResponseText
//     and ResponseCode at once;
//   - Set-Cookie headers of every answer go into the cookie store;
//   - 200 to 299 return the body; any other status (other 1xx, 3xx, 4xx, 5xx,
//     -1) raises ProtocolError with the body decoded by its declared charset.
//     Redirects are not followed and no authentication is attempted.
// A connection that cannot be made or breaks, a server that closes before
// answering and an expired time-out raise an ordinary Failure ("Socket Error # "
// + number, CR LF, description; or "Connection Closed Gracefully."), leaving
// ResponseCode and ResponseText as they were when no status line arrived. The
// name lookup counts against the connect time-out. After an answer that broke in
// its body, BrokenBody holds what of the body had arrived.
//
// The connection is closed after the answer, unless the answer asked for it to be
// kept alive; the next Post closes it then.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "api/cookie_store.h"
#include "api/request_head.h"
#include "platform/tcp_socket.h"

namespace quorbin {

struct HttpLimits {
  // The name lookup and the connection together.
  std::chrono::milliseconds connect_timeout{15'000};
  // The longest wait for the next byte, sending or receiving.
  std::chrono::milliseconds idle_timeout{30'000};
  // The longest a whole exchange may take once connected, from the first byte of
  // the request to the last byte of the answer, however steadily bytes arrive.
  // With the connect time-out this stays below the watchdog's three minutes.
  std::chrono::milliseconds exchange_timeout{120'000};
  std::size_t max_body_bytes = std::size_t{64} << 20;
};

class HttpClient {
 public:
  explicit HttpClient(HttpLimits limits = {}, UtcClock utc_now = std::chrono::system_clock::now);

  // The fields of the next request; CustomHeaders stay from call to call.
  RequestFields& Request() { return request_; }
  CustomHeaders& Custom() { return custom_; }

  std::string Post(std::string_view url, std::string_view body);

  int ResponseCode() const { return response_code_; }
  const std::string& ResponseText() const { return response_text_; }
  CookieStore& Cookies() { return cookies_; }
  // The body bytes that had arrived when the last Post failed in the middle of
  // an answer's body; empty after any other outcome.
  const std::string& BrokenBody() const { return broken_body_; }

 private:
  void Connect(const HttpUrl& url);
  std::string Exchange(const HttpUrl& url, std::string_view body);

  HttpLimits limits_;
  RequestFields request_;
  CustomHeaders custom_;
  CookieStore cookies_;
  platform::TcpSocket socket_;
  int response_code_ = 0;
  std::string response_text_;
  std::string broken_body_;
};

// "Socket Error # " + number + CR LF + description.
std::string SocketErrorMessage(const platform::SocketError& error);

}  // namespace quorbin
