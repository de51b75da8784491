// Time limits as they arrive from Python: any count of milliseconds up to 2^64 - 1, which is
// far more than a signed count of nanoseconds can hold, so the limit is kept as whole seconds
// and a nanosecond remainder and never converted into one number.
#pragma once

#include <chrono>
#include <cstdint>

#include "platform/clock.h"

namespace pelorix::sync {

class Limit {
 public:
  static constexpr Limit milliseconds(std::uint64_t ms) {
    return Limit(ms / 1000, static_cast<std::uint32_t>(ms % 1000 * 1000000));
  }

  // Whether `elapsed` (a negative span counts as none) has come to the limit.
  constexpr bool reached_by(std::chrono::nanoseconds elapsed) const {
    if (elapsed.count() < 0) elapsed = {};
    auto whole = static_cast<std::uint64_t>(elapsed.count() / 1000000000);
    auto rest = static_cast<std::uint32_t>(elapsed.count() % 1000000000);
    return whole != seconds_ ? whole > seconds_ : rest >= nanoseconds_;
  }
  bool reached_since(platform::Instant start) const { return reached_by(platform::now() - start); }
  // The limit in whole milliseconds, as it was given.
  constexpr std::uint64_t whole_milliseconds() const {
    return seconds_ * 1000 + nanoseconds_ / 1000000;
  }

 private:
  constexpr Limit(std::uint64_t seconds, std::uint32_t nanoseconds)
      : seconds_(seconds), nanoseconds_(nanoseconds) {}

  std::uint64_t seconds_;
  std::uint32_t nanoseconds_;
};

}  // namespace pelorix::sync
