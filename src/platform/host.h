// What the module asks of the host system besides the accessibility tree: finding a process,
// telling whether it runs, ending it, and capturing the screen. Each is one semantic call, so a
// backend answers it in its own terms: on Apple systems (and on the simulated desktop, whose
// tests put stand-in programs on PATH) the macOS programs run with the command lines of
// host_commands.h; the real Linux desktop asks /proc and the X server itself.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <variant>

#include "platform/capture.h"
#include "platform/process.h"

namespace pelorix::platform {

// What a lookup found.
struct LookupAnswer {
  enum class Kind {
    Found,
    NotFound,
    // An answer that is not one process: several of them, or text that is no pid.
    Unparsable,
  } kind;
  pid_t pid = 0;  // when found: always positive
};
using PidLookup = std::variant<LookupAnswer, ProgramFailedToStart>;

// A rectangle in screen coordinates.
struct Region {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

// The PNG content, or why there is none (CaptureFailure::Stage::Unsuccessful when the host ran
// but produced no image).
using Capture = std::variant<std::string, CaptureFailure>;

// The host services. Each call's default is what the macOS programs answer
// (host_commands.cpp); a backend that knows better overrides it.
class HostServices {
 public:
  virtual ~HostServices() = default;
  // The process whose name is exactly `name`.
  virtual PidLookup find_pid_by_name(const std::string& name);
  // The process of the application with this bundle identifier.
  virtual PidLookup find_pid_by_bundle_id(const std::string& bundle_id);
  // The frontmost window of the process, as PNG.
  virtual Capture capture_window(pid_t pid);
  // Whatever the screen shows in the region, as PNG.
  virtual Capture capture_region(const Region& region);
  // Whether a process with this pid (> 0) exists.
  virtual bool is_running(pid_t pid);
  // Asks the process (pid > 0) to terminate. Only a failure to ask at all is reported; whether
  // the process still existed is not.
  virtual std::optional<ProgramFailedToStart> terminate(pid_t pid);
};

// The host services in use: on Apple systems the system's programs, elsewhere the active
// backend's.
HostServices& host();

}  // namespace pelorix::platform
