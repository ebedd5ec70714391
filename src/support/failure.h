// Failure: an operation that cannot complete raises one, carrying the message text
// that the boundary catching it writes to the activity log. Subsystems derive their
// own kinds only where a boundary must tell them apart.
#pragma once

#include <stdexcept>

namespace quorbin {

class Failure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace quorbin
