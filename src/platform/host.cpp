#include "platform/host.h"

#if !defined(__APPLE__)
#include "platform/backend.h"
#endif

namespace pelorix::platform {

HostServices& host() {
#if defined(__APPLE__)
  static HostServices* const system = new HostServices();
  return *system;
#else
  return active_backend();
#endif
}

}  // namespace pelorix::platform
