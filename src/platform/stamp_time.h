// File times on the scale of the stamps (folder_listing.h): nanoseconds since
// 1970 in 64 bits, which reach from 1677 to 2262. A file system can hold times
// far beyond those years (ext4 and XFS to 2446 and beyond, NTFS to 30828, and
// 1601 backwards): such a time is held at the nearest end of the range, never
// wrapped around. The same for both systems, so that either is tested anywhere.
#pragma once

#include <cstdint>
#include <limits>

namespace quorbin::platform {

// `seconds` and `nanoseconds` (0 to 999,999,999) since 1970, as POSIX gives them.
constexpr std::int64_t StampNanoseconds(std::int64_t seconds, std::int64_t nanoseconds) {
  std::int64_t whole = 0;
  std::int64_t sum = 0;
  if (__builtin_mul_overflow(seconds, std::int64_t{1'000'000'000}, &whole) ||
      __builtin_add_overflow(whole, nanoseconds, &sum)) {
    return seconds < 0 ? std::numeric_limits<std::int64_t>::min()
                       : std::numeric_limits<std::int64_t>::max();
  }
  return sum;
}

// A Windows file time: 100 ns ticks since 1601 (FILETIME, LARGE_INTEGER taken
// unsigned).
constexpr std::int64_t StampNanosecondsOfTicks(std::uint64_t ticks) {
  constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;
  return StampNanoseconds(static_cast<std::int64_t>(ticks / 10'000'000) - kSecondsFrom1601To1970,
                          static_cast<std::int64_t>(ticks % 10'000'000) * 100);
}

}  // namespace quorbin::platform
