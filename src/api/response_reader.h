// Reads one answer from a connection: status lines and header lines (each up to
// LF, a CR before it dropped) and a body framed by chunked transfer coding, by
// Content-Length or by the server's close. 1xx, 204 and 304 answers have no body.
// No content coding is undone.
//
// Everything read is bounded: a line above 64 KiB, heads and trailer lines above
// 1 MiB in all and a body above the cap given are failures, as is a body that the
// server cuts short ("Connection Closed Gracefully.") and chunk data that does not
// end with CR LF.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "api/request_head.h"

namespace quorbin {

// Where the answer's bytes come from. Receive returns at least one byte, or 0
// when the peer closed the connection; it throws Failure on any other outcome.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::size_t Receive(char* buffer, std::size_t capacity) = 0;
};

inline constexpr std::string_view kClosedGracefully = "Connection Closed Gracefully.";

struct ResponseHead {
  std::string status_line;  // as text, each byte one character
  int status_code = -1;
  std::vector<HeaderLine> headers;

  // The value of the first header of that name (any letter case), if any.
  std::optional<std::string> Header(std::string_view name) const;
  std::vector<std::string> Headers(std::string_view name) const;
};

class ResponseReader {
 public:
  ResponseReader(ByteSource& source, std::size_t max_body_bytes)
      : source_(source), max_body_bytes_(max_body_bytes) {}

  // The status line and the header lines up to the first empty line.
  ResponseHead ReadHead();
  // The body of the answer whose head this is.
  std::string ReadBody(const ResponseHead& head);
  // The body bytes that had arrived when ReadBody failed (chunked: the data of
  // the chunks, as far as they came).
  std::string BodyReceivedSoFar() const { return chunked_body_ + buffer_; }
  // True once the server has closed the connection.
  bool PeerClosed() const { return peer_closed_; }

 private:
  bool Fill();
  std::string ReadLine();
  // A line of a head or of the trailer, counted against the limit of the heads.
  std::string ReadHeadLine();
  std::string ReadExactly(std::size_t count);
  std::string ReadChunked();
  std::string ReadUntilClose();
  void CheckBodySize(std::size_t size) const;

  ByteSource& source_;
  std::size_t max_body_bytes_;
  std::string buffer_;
  std::string chunked_body_;  // the chunks read so far
  std::size_t head_bytes_ = 0;
  bool peer_closed_ = false;
};

// The status code of a status line: the word after the first blank, up to its
// first "." if any, in decimal; -1 when that is not a number.
int StatusCodeOf(std::string_view status_line);

}  // namespace quorbin
