#include <algorithm>
#include <cstring>

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
  EventObject(CGKeyCode key_code, bool key_down) : CFObject(kKind), event{key_code, key_down, {}} {}
  // Events are mutable objects on every platform; the reference type says so.
  mutable KeyEvent event;
};

}  // namespace

extern "C" {

CGEventSourceRef CGEventSourceCreate(CGEventSourceStateID stateID) {
  if (!active_backend().allow_event_source(stateID)) return nullptr;
  return reinterpret_cast<CGEventSourceRef>(const_cast<void*>((new EventSourceObject())->ref()));
}

CGEventRef CGEventCreateKeyboardEvent(CGEventSourceRef, CGKeyCode virtualKey, bool keyDown) {
  if (!active_backend().allow_keyboard_event(virtualKey, keyDown)) return nullptr;
  return reinterpret_cast<CGEventRef>(
      const_cast<void*>((new EventObject(virtualKey, keyDown))->ref()));
}

void CGEventKeyboardSetUnicodeString(CGEventRef event, UniCharCount stringLength,
                                     const UniChar* unicodeString) {
  const auto* object = object_cast<EventObject>(event);
  if (object == nullptr) return;
  if (unicodeString == nullptr) stringLength = 0;
  object->event.units.assign(reinterpret_cast<const char16_t*>(unicodeString), stringLength);
}

void CGEventKeyboardGetUnicodeString(CGEventRef event, UniCharCount maxStringLength,
                                     UniCharCount* actualStringLength, UniChar* unicodeString) {
  const auto* object = object_cast<EventObject>(event);
  UniCharCount count = 0;
  if (object != nullptr) {
    count = std::min<UniCharCount>(maxStringLength, object->event.units.size());
    if (unicodeString != nullptr)
      std::memcpy(unicodeString, object->event.units.data(), count * sizeof(UniChar));
  }
  if (actualStringLength != nullptr) *actualStringLength = count;
}

void CGEventPostToPid(pid_t pid, CGEventRef event) {
  const auto* object = object_cast<EventObject>(event);
  if (object == nullptr) return;
  active_backend().post_keyboard_event(pid, object->event);
}

}  // extern "C"
