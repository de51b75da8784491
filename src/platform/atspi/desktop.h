// The real Linux desktop: accessibility through AT-SPI2 (libatspi), input and screen through
// the X server. It is the backend in use unless another is selected.
//
// Every call that waits for an application is bounded: AT-SPI calls give up after
// kCallTimeoutMs and then report kAXErrorCannotComplete.
#pragma once

#include <sys/types.h>

#include <mutex>

#include "platform/backend.h"

typedef struct _AtspiAccessible AtspiAccessible;

namespace pelorix::platform::atspi {

// How long one AT-SPI call may wait for the application's answer.
inline constexpr int kCallTimeoutMs = 1000;
// What the registry is given to say it is there, when a script connects.
inline constexpr int kRegistryWaitMs = 5000;

class Desktop final : public Backend {
 public:
  bool process_trusted() override;
  AXUIElementRef create_application(pid_t pid) override;
  bool allow_event_source(CGEventSourceStateID state) override;
  bool allow_keyboard_event(CGKeyCode key_code, bool key_down) override;
  void post_keyboard_event(pid_t pid, const KeyEvent& event) override;
  bool allow_pointer_event(CGEventType type, std::optional<CGPoint> position) override;
  void post_pointer_event(const PointerEvent& event) override;
  PidLookup find_pid_by_name(const std::string& name) override;
  PidLookup find_pid_by_bundle_id(const std::string& bundle_id) override;
  Capture capture_window(pid_t pid) override;
  Capture capture_region(const Region& region) override;
  bool is_running(pid_t pid) override;
  std::optional<ProgramFailedToStart> terminate(pid_t pid) override;

  // Connects libatspi to the accessibility bus once; false when no bus can be reached.
  bool connect();
  // The application accessible of a process (+1), or null when none is registered.
  AtspiAccessible* find_application(pid_t pid);

  // libatspi and Xlib are not thread-safe; every use holds this lock.
  std::recursive_mutex& mutex() { return mutex_; }

 private:
  std::recursive_mutex mutex_;
  int connected_ = -1;         // unknown, 0 no, 1 yes
  unsigned announced_on_ = 0;  // the bus connection the registry was told we listen on
};

Desktop& desktop();

}  // namespace pelorix::platform::atspi
