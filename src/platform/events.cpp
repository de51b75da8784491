#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <variant>

#include "platform/backend.h"

using namespace pelorix::platform;

namespace {

class EventSourceObject final : public CFObject {
 public:
  static constexpr Kind kKind = Kind::EventSource;
  EventSourceObject() : CFObject(kKind) {}
};

class EventObject final : public CFObject {
 public:
  static constexpr Kind kKind = Kind::Event;
  EventObject(CGKeyCode key_code, bool key_down)
      : CFObject(kKind), event(KeyEvent{key_code, key_down, {}, std::nullopt}) {}
  explicit EventObject(const PointerEvent& pointer) : CFObject(kKind), event(pointer) {}
  KeyEvent* key() const { return std::get_if<KeyEvent>(&event); }
  PointerEvent* pointer() const { return std::get_if<PointerEvent>(&event); }
  // Events are mutable objects on every platform; the reference type says so.
  mutable std::variant<KeyEvent, PointerEvent> event;
};

CGEventRef make(EventObject* object) {
  return reinterpret_cast<CGEventRef>(const_cast<void*>(object->ref()));
}

bool is_mouse_type(CGEventType type) {
  switch (type) {
    case kCGEventLeftMouseDown:
    case kCGEventLeftMouseUp:
    case kCGEventRightMouseDown:
    case kCGEventRightMouseUp:
    case kCGEventMouseMoved:
    case kCGEventLeftMouseDragged:
    case kCGEventRightMouseDragged:
    case kCGEventOtherMouseDown:
    case kCGEventOtherMouseUp:
    case kCGEventOtherMouseDragged:
      return true;
    default:
      return false;
  }
}

}  // namespace

extern "C" {

CGEventSourceRef CGEventSourceCreate(CGEventSourceStateID stateID) {
  if (!active_backend().allow_event_source(stateID)) return nullptr;
  return reinterpret_cast<CGEventSourceRef>(const_cast<void*>((new EventSourceObject())->ref()));
}

CGEventRef CGEventCreateKeyboardEvent(CGEventSourceRef, CGKeyCode virtualKey, bool keyDown) {
  if (!active_backend().allow_keyboard_event(virtualKey, keyDown)) return nullptr;
  return make(new EventObject(virtualKey, keyDown));
}

void CGEventKeyboardSetUnicodeString(CGEventRef event, UniCharCount stringLength,
                                     const UniChar* unicodeString) {
  const auto* object = object_cast<EventObject>(event);
  KeyEvent* key = object != nullptr ? object->key() : nullptr;
  if (key == nullptr) return;
  if (unicodeString == nullptr) stringLength = 0;
  key->units.assign(reinterpret_cast<const char16_t*>(unicodeString), stringLength);
}

void CGEventKeyboardGetUnicodeString(CGEventRef event, UniCharCount maxStringLength,
                                     UniCharCount* actualStringLength, UniChar* unicodeString) {
  const auto* object = object_cast<EventObject>(event);
  const KeyEvent* key = object != nullptr ? object->key() : nullptr;
  UniCharCount count = 0;
  if (key != nullptr) {
    count = std::min<UniCharCount>(maxStringLength, key->units.size());
    if (unicodeString != nullptr)
      std::memcpy(unicodeString, key->units.data(), count * sizeof(UniChar));
  }
  if (actualStringLength != nullptr) *actualStringLength = count;
}

void CGEventPostToPid(pid_t pid, CGEventRef event) {
  const auto* object = object_cast<EventObject>(event);
  if (object == nullptr) return;
  if (const KeyEvent* key = object->key()) active_backend().post_keyboard_event(pid, *key);
  // A pointer event reaches the window under the pointer either way.
  if (const PointerEvent* pointer = object->pointer())
    active_backend().post_pointer_event(*pointer);
}

void CGEventSetFlags(CGEventRef event, CGEventFlags flags) {
  const auto* object = object_cast<EventObject>(event);
  if (object == nullptr) return;
  if (KeyEvent* key = object->key()) key->flags = flags;
  if (PointerEvent* pointer = object->pointer()) pointer->flags = flags;
}

CGEventFlags CGEventGetFlags(CGEventRef event) {
  const auto* object = object_cast<EventObject>(event);
  if (object == nullptr) return 0;
  if (const KeyEvent* key = object->key()) return key->flags.value_or(0);
  if (const PointerEvent* pointer = object->pointer()) return pointer->flags.value_or(0);
  return 0;
}

CGEventRef CGEventCreateMouseEvent(CGEventSourceRef, CGEventType mouseType,
                                   CGPoint mouseCursorPosition, CGMouseButton mouseButton) {
  if (!is_mouse_type(mouseType) ||
      !active_backend().allow_pointer_event(mouseType, mouseCursorPosition))
    return nullptr;
  PointerEvent pointer;
  pointer.type = mouseType;
  pointer.position = mouseCursorPosition;
  pointer.button = mouseButton;
  return make(new EventObject(pointer));
}

CGEventRef CGEventCreateScrollWheelEvent(CGEventSourceRef, CGScrollEventUnit units,
                                         uint32_t wheelCount, int32_t wheel1, ...) {
  // The system takes one to three wheels; pelorix has no use for the third.
  if (wheelCount < 1 || wheelCount > 3 ||
      !active_backend().allow_pointer_event(kCGEventScrollWheel, std::nullopt))
    return nullptr;
  PointerEvent pointer;
  pointer.type = kCGEventScrollWheel;
  pointer.units = units;
  pointer.wheel[0] = wheel1;
  if (wheelCount > 1) {
    std::va_list more;
    va_start(more, wheel1);
    pointer.wheel[1] = va_arg(more, int32_t);
    va_end(more);
  }
  return make(new EventObject(pointer));
}

void CGEventSetIntegerValueField(CGEventRef event, CGEventField field, int64_t value) {
  const auto* object = object_cast<EventObject>(event);
  PointerEvent* pointer = object != nullptr ? object->pointer() : nullptr;
  if (pointer != nullptr && field == kCGMouseEventClickState) pointer->click_state = value;
}

void CGEventPost(CGEventTapLocation, CGEventRef event) {
  const auto* object = object_cast<EventObject>(event);
  if (object == nullptr) return;
  if (const PointerEvent* pointer = object->pointer())
    active_backend().post_pointer_event(*pointer);
  // Keyboard events posted to a tap would reach whichever process has the focus; pelorix posts
  // them to the target's process instead.
}

}  // extern "C"
