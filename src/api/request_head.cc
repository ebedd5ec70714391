#include "api/request_head.h"

#include "support/ascii_text.h"
#include "support/code_page.h"

namespace quorbin {
namespace {

void AppendLine(std::string& head, std::string_view name, std::string_view value) {
  head += HeaderSafe(name);
  head += ": ";
  head += HeaderSafe(value);
  head += "\r\n";
}

}  // namespace

void CustomHeaders::Set(std::string_view name, std::string value) {
  for (auto& line : lines_) {
    if (EqualsIgnoringCase(line.name, name)) {
      line.value = std::move(value);
      return;
    }
  }
  lines_.push_back({std::string(name), std::move(value)});
}

std::string HeaderSafe(std::string_view value) {
  std::string safe;
  safe.reserve(value.size());
  for (std::size_t pos = 0; pos < value.size();) {
    const char32_t c = NextCodePoint(value, pos);
    if (c >= 0x80) {
      safe += '?';
    } else if (c >= 0x20 || c == '\t') {
      if (c != 0x7F) safe += static_cast<char>(c);
    }
  }
  return safe;
}

std::string BuildRequestHead(const HttpUrl& url, std::size_t body_length,
                             const RequestFields& fields, const CustomHeaders& custom,
                             std::string_view cookies) {
  std::string head = "POST " + HeaderSafe(url.target) + " HTTP/1.0\r\n";
  AppendLine(head, "Connection", "keep-alive");
  if (!fields.content_type.empty()) {
    std::string type = fields.content_type;
    if (!fields.charset.empty()) type += "; charset=" + fields.charset;
    AppendLine(head, "Content-Type", type);
  }
  AppendLine(head, "Content-Length", std::to_string(body_length));
  for (const auto& line : custom.lines()) AppendLine(head, line.name, line.value);
  AppendLine(head, "Host", url.port == 80 ? url.host : url.host + ":" + std::to_string(url.port));
  if (!fields.accept.empty()) AppendLine(head, "Accept", fields.accept);
  if (!fields.user_agent.empty()) AppendLine(head, "User-Agent", fields.user_agent);
  if (!cookies.empty()) AppendLine(head, "Cookie", cookies);
  head += "\r\n";
  return head;
}

}  // namespace quorbin
