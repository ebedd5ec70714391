// CallWithin: runs a blocking call that offers no time-out of its own (the
// system's name lookup) on a thread of its own, and waits for its result at most
// `timeout`. When the time is up the caller goes on without a result; the thread
// finishes the call later on its own and its result is dropped, so the only cost
// of a call that never ends is that thread. Both systems share this file.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace quorbin::platform {

template <typename Result>
std::optional<Result> CallWithin(std::chrono::milliseconds timeout, std::function<Result()> call) {
  struct Shared {
    std::mutex mutex;
    std::condition_variable finished;
    std::optional<Result> result;
  };
  auto shared = std::make_shared<Shared>();
  try {
    std::thread([shared, call = std::move(call)] {
      Result result = call();
      const std::lock_guard lock(shared->mutex);
      shared->result = std::move(result);
      shared->finished.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return std::nullopt;  // no thread to be had: as if the time were up
  }
  std::unique_lock lock(shared->mutex);
  shared->finished.wait_for(lock, timeout, [&] { return shared->result.has_value(); });
  return shared->result;  // a copy: the thread may still hold the shared state
}

}  // namespace quorbin::platform
