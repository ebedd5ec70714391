// ProtocolError: the server answered, with a status outside 200 to 299. Its
// message is the status line; ErrorCode is the status code (-1 for a status line
// without a number) and ErrorMessage the body of the answer as text. Callers tell
// it apart from every other failure by its kind.
#pragma once

#include <string>

#include "support/failure.h"

namespace quorbin {

class ProtocolError : public Failure {
 public:
  ProtocolError(int error_code, const std::string& status_line, std::string error_message)
      : Failure(status_line), error_code_(error_code), error_message_(std::move(error_message)) {}

  int ErrorCode() const { return error_code_; }
  const std::string& ErrorMessage() const { return error_message_; }

 private:
  int error_code_;
  std::string error_message_;
};

}  // namespace quorbin
