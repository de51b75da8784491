// The host services on the Linux desktop: processes from /proc and kill(2), applications and
// windows from the X server, captures from the screen, encoded to PNG in memory.
#include <dirent.h>
#include <signal.h>

#include <cerrno>
#include <charconv>
#include <fstream>
#include <memory>
#include <optional>
#include <vector>

#include "platform/atspi/desktop.h"
#include "platform/atspi/element.h"
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

Capture png_of(int x, int y, int width, int height) {
  auto image = x11::capture(x, y, width, height);
  std::optional<std::string> png = image ? x11::encode_png(*image) : std::nullopt;
  if (!png) return CaptureFailure{CaptureFailure::Stage::Unsuccessful};
  return std::move(*png);
}

// The frame (AXFrame) of the application's main window (AXMainWindow), read through the same
// element calls a script's reads go through; nullopt when the process has no window there.
std::optional<CGRect> main_window_frame(pid_t pid) {
  CFTypeRef application = make_element(nullptr, pid, true);
  CFTypeRef window = nullptr;
  CFTypeRef frame = nullptr;
  if (object_cast<Element>(application)->copy_attribute_value("AXMainWindow", &window) !=
      kAXErrorSuccess)
    window = nullptr;
  if (const auto* element = object_cast<Element>(window)) {
    if (element->copy_attribute_value("AXFrame", &frame) != kAXErrorSuccess) frame = nullptr;
  }
  std::optional<CGRect> out;
  CGRect rect{};
  if (frame != nullptr &&
      AXValueGetValue(static_cast<AXValueRef>(frame), kAXValueCGRectType, &rect) &&
      rect.size.width > 0 && rect.size.height > 0)
    out = rect;
  for (CFTypeRef held : {frame, window, application})
    if (held != nullptr) CFRelease(held);
  return out;
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
  // The application's main window, exactly its bounds: not a menu or popup open over it, not
  // the border or shadow GTK 4 draws around it, and under a window manager what the toolkit
  // counts as the window.
  if (auto frame = main_window_frame(pid))
    return png_of(whole_pixels(frame->origin.x), whole_pixels(frame->origin.y),
                  whole_pixels(frame->size.width), whole_pixels(frame->size.height));
  // Without a window in the accessibility tree: the frontmost X window that is no popup.
  auto windows = x11::windows_of(pid);
  std::erase_if(windows, [](const x11::Window& window) { return window.popup; });
  if (windows.empty()) return CaptureFailure{CaptureFailure::Stage::Unsuccessful};
  const x11::Window& window = windows.back();
  return png_of(window.x, window.y, window.width, window.height);
}

Capture Desktop::capture_region(const Region& region) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  return png_of(whole_pixels(region.x), whole_pixels(region.y), whole_pixels(region.width),
                whole_pixels(region.height));
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
