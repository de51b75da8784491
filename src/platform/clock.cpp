#include "platform/clock.h"

#include <cerrno>
#include <ctime>

namespace pelorix::platform {

void sleep_for(std::chrono::nanoseconds interval) {
  if (interval.count() <= 0) return;
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(interval);
  timespec request{static_cast<time_t>(seconds.count()),
                   static_cast<long>((interval - seconds).count())};
  timespec remaining{};
  while (nanosleep(&request, &remaining) != 0 && errno == EINTR) request = remaining;
}

}  // namespace pelorix::platform
