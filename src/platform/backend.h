// What a desktop backend provides below the accessibility and event calls.
//
// Element references carry the backend that made them, so calls on an element reach that
// backend directly; only the calls that start from nothing (trust, creating an application
// element, events) go through the active backend.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cf_object.h"
#include "platform/host.h"

namespace pelorix::platform {

class ElementObject : public CFObject {
 public:
  static constexpr Kind kKind = Kind::Element;
  ElementObject() : CFObject(kKind) {}

  virtual ::AXError copy_attribute_value(const std::string& attribute, CFTypeRef* value) const = 0;
  virtual ::AXError set_attribute_value(const std::string& attribute, CFTypeRef value) const = 0;
  virtual ::AXError perform_action(const std::string& action) const = 0;
  virtual ::AXError get_pid(pid_t* pid) const = 0;
};

struct KeyEvent {
  CGKeyCode key_code;
  bool key_down;
  std::u16string units;
};

// A backend answers the host services too (platform/host.h); the defaults run the macOS
// programs, as the system would.
class Backend : public HostServices {
 public:
  virtual bool process_trusted() = 0;
  // An owned element, or null.
  virtual AXUIElementRef create_application(pid_t pid) = 0;
  // Whether the backend lets an event source or a keyboard event be made at this moment.
  virtual bool allow_event_source(CGEventSourceStateID state) = 0;
  virtual bool allow_keyboard_event(CGKeyCode key_code, bool key_down) = 0;
  virtual void post_keyboard_event(pid_t pid, const KeyEvent& event) = 0;
};

Backend& active_backend();
// The backend in use when none is selected: the real desktop.
Backend& default_backend();
// Replaces the active backend for the rest of the process (or until the next call); the
// backend must outlive its use. Null restores the default.
void select_backend(Backend* backend);

}  // namespace pelorix::platform
