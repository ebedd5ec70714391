// The message of the Failure an action raises, for tests that compare it; "<no
// failure>" when the action ends without one. Other exceptions pass through.
#pragma once

#include <functional>
#include <string>

#include "support/failure.h"

namespace quorbin::testing {

inline std::string FailureMessage(const std::function<void()>& action) {
  try {
    action();
  } catch (const Failure& failure) {
    return failure.what();
  }
  return "<no failure>";
}

}  // namespace quorbin::testing
