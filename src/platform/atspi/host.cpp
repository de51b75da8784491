// The host services on the Linux desktop: processes from /proc and kill(2), applications and
// windows from the X server, captures from the screen, encoded to PNG in memory.
#include <dirent.h>
#include <signal.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <memory>

#include "platform/atspi/desktop.h"
#include "platform/atspi/x11.h"

namespace pelorix::platform::atspi {
namespace {

// A process's name as the kernel keeps it (what `pgrep -x` compares).
std::string process_name(const char* pid_text) {
  std::ifstream in(std::string("/proc/") + pid_text + "/comm");
  std::string name;
  std::getline(in, name);
  return name;
}

int screen_coordinate(double value) {
  using Limits = std::numeric_limits<std::int32_t>;
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(Limits::max())) return Limits::max();
  if (value <= static_cast<double>(Limits::min())) return Limits::min();
  return static_cast<int>(value);
}

Capture png_of(int x, int y, int width, int height) {
  auto image = x11::capture(x, y, width, height);
  std::optional<std::string> png = image ? x11::encode_png(*image) : std::nullopt;
  if (!png) return CaptureFailure{CaptureFailure::Stage::Unsuccessful};
  return std::move(*png);
}

}  // namespace

PidLookup Desktop::find_pid_by_name(const std::string& name) {
  std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
  if (!proc) return LookupAnswer{LookupAnswer::Kind::NotFound};
  // The lowest pid with the name, as pgrep lists them first.
  pid_t found = 0;
  while (dirent* entry = ::readdir(proc.get())) {
    pid_t pid = 0;
    const char* end = entry->d_name + std::char_traits<char>::length(entry->d_name);
    auto [last, error] = std::from_chars(entry->d_name, end, pid);
    if (error != std::errc() || last != end || pid <= 0) continue;
    if ((found == 0 || pid < found) && process_name(entry->d_name) == name) found = pid;
  }
  if (found == 0) return LookupAnswer{LookupAnswer::Kind::NotFound};
  return LookupAnswer{LookupAnswer::Kind::Found, found};
}

PidLookup Desktop::find_pid_by_bundle_id(const std::string& bundle_id) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  std::vector<pid_t> pids = x11::pids_with_application_id(bundle_id);
  if (pids.empty()) return LookupAnswer{LookupAnswer::Kind::NotFound};
  // Several processes are no answer to "which process", as on macOS.
  if (pids.size() > 1) return LookupAnswer{LookupAnswer::Kind::Unparsable};
  return LookupAnswer{LookupAnswer::Kind::Found, pids.front()};
}

Capture Desktop::capture_window(pid_t pid) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  auto windows = x11::windows_of(pid);
  if (windows.empty()) return CaptureFailure{CaptureFailure::Stage::Unsuccessful};
  // The frontmost window: the top of the stacking order.
  const x11::Window& window = windows.back();
  return png_of(window.x, window.y, window.width, window.height);
}

Capture Desktop::capture_region(const Region& region) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  return png_of(screen_coordinate(region.x), screen_coordinate(region.y),
                screen_coordinate(region.width), screen_coordinate(region.height));
}

bool Desktop::is_running(pid_t pid) {
  return ::kill(pid, 0) == 0 || errno == EPERM;
}

std::optional<ProgramFailedToStart> Desktop::terminate(pid_t pid) {
  // Whether the process was still there is not reported, as with the kill program.
  ::kill(pid, SIGTERM);
  return std::nullopt;
}

}  // namespace pelorix::platform::atspi
