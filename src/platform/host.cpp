#include "platform/host.h"

#include "platform/host_commands.h"

#if !defined(__APPLE__)
#include "platform/backend.h"
#endif

namespace pelorix::platform {

#if defined(__APPLE__)

PidLookup find_pid_by_name(const std::string& name) {
  return commands::find_pid_by_name(name);
}
PidLookup find_pid_by_bundle_id(const std::string& bundle_id) {
  return commands::find_pid_by_bundle_id(bundle_id);
}
Capture capture_window(pid_t pid) {
  return commands::capture_window(pid);
}
Capture capture_region(const Region& region) {
  return commands::capture_region(region);
}
bool is_running(pid_t pid) {
  return commands::is_running(pid);
}
std::optional<ProgramFailedToStart> terminate(pid_t pid) {
  return commands::terminate(pid);
}

#else

PidLookup find_pid_by_name(const std::string& name) {
  return active_backend().find_pid_by_name(name);
}
PidLookup find_pid_by_bundle_id(const std::string& bundle_id) {
  return active_backend().find_pid_by_bundle_id(bundle_id);
}
Capture capture_window(pid_t pid) {
  return active_backend().capture_window(pid);
}
Capture capture_region(const Region& region) {
  return active_backend().capture_region(region);
}
bool is_running(pid_t pid) {
  return active_backend().is_running(pid);
}
std::optional<ProgramFailedToStart> terminate(pid_t pid) {
  return active_backend().terminate(pid);
}

#endif

}  // namespace pelorix::platform
