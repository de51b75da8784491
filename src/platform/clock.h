// The monotonic clock and full-length sleeps every wait in the module uses.
#pragma once

#include <chrono>
#include <cstdint>

namespace pelorix::platform {

using Instant = std::chrono::steady_clock::time_point;
inline Instant now() {
  return std::chrono::steady_clock::now();
}

// Sleeps for the whole interval, resuming after signals.
void sleep_for(std::chrono::nanoseconds interval);

}  // namespace pelorix::platform
