// CallWithin: a call that ends in time gives its result; one that does not is
// left behind at the time-out, and the caller goes on without it.
#include "platform/call_within.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>

namespace quorbin::platform {
namespace {

using namespace std::chrono_literals;

TEST(CallWithinTest, ACallThatEndsInTimeGivesItsResult) {
  EXPECT_EQ(CallWithin<int>(10s, [] { return 42; }), 42);
}

TEST(CallWithinTest, ACallThatHangsIsLeftBehindAtTheTimeOut) {
  auto release = std::make_shared<std::promise<void>>();
  std::shared_future<void> released = release->get_future().share();
  const auto start = std::chrono::steady_clock::now();
  const auto result = CallWithin<int>(200ms, [released] {
    released.wait();  // a resolver that does not answer
    return 1;
  });
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_FALSE(result);
  EXPECT_GE(waited, 200ms);
  EXPECT_LT(waited, 10s);  // far below the wait the call itself would take
  release->set_value();    // lets the thread left behind end
}

}  // namespace
}  // namespace quorbin::platform
