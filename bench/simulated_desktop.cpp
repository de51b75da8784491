// The benchmark's door to the simulated desktop.
#include <string>

#include "platform/sim/desktop.h"

std::string simulated_desktop_request(const std::string& command) {
  return pelorix::platform::sim::desktop().request(command);
}
