// What a desktop backend provides below the accessibility and event calls.
//
// Element references carry the backend that made them, so calls on an element reach that
// backend directly; only the calls that start from nothing (trust, creating an application
// element, events) go through the active backend.
#pragma once

#if defined(__APPLE__)
#error "the desktop backends exist only where the frameworks do not"
#endif

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/cf_object.h"
#include "platform/host.h"
#include "platform/read_scope.h"

namespace pelorix::platform {

class ElementObject : public CFObject {
 public:
  static constexpr Kind kKind = Kind::Element;
  ElementObject() : CFObject(kKind) {}

  virtual ::AXError copy_attribute_value(const std::string& attribute, CFTypeRef* value) const = 0;
  virtual ::AXError set_attribute_value(const std::string& attribute, CFTypeRef value) const = 0;
  virtual ::AXError perform_action(const std::string& action) const = 0;
  virtual ::AXError get_pid(pid_t* pid) const = 0;
  // Opens the batch of a ReadScope rooted at this element; null for a backend that answers
  // every read on its own (the default).
  virtual std::unique_ptr<ReadBatch> open_read_batch() const { return nullptr; }
};

struct KeyEvent {
  CGKeyCode key_code;
  bool key_down;
  std::u16string units;
  // Only when the maker set them (CGEventSetFlags): typing conveys Shift by separate events and
  // sets none, key combinations set them on every event.
  std::optional<CGEventFlags> flags;
};

// A move, a button going down or up, or a turn of the scroll wheel.
struct PointerEvent {
  CGEventType type = kCGEventNull;
  // Screen coordinates; a scroll event has none and turns the wheel wherever the pointer is.
  std::optional<CGPoint> position;
  CGMouseButton button = kCGMouseButtonLeft;
  // 1 for a single click, 2 for the second click of a double click.
  std::int64_t click_state = 1;
  CGScrollEventUnit units = kCGScrollEventUnitLine;
  // Vertical then horizontal; positive moves the content down (up the document) and right.
  std::int32_t wheel[2] = {0, 0};
  std::optional<CGEventFlags> flags;
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
  // Whether a pointer event of the type may be made now (at the position, for all but scroll
  // events), and its delivery to whatever window is under the pointer (the event tap of
  // CGEventPost). A backend without a pointer has neither.
  virtual bool allow_pointer_event(CGEventType, std::optional<CGPoint>) { return false; }
  virtual void post_pointer_event(const PointerEvent&) {}
};

Backend& active_backend();
// The backend in use when none is selected: the real desktop.
Backend& default_backend();
// Replaces the active backend for the rest of the process (or until the next call); the
// backend must outlive its use. Null restores the default.
void select_backend(Backend* backend);

}  // namespace pelorix::platform
