#include "platform/atspi/desktop.h"

#include <atspi/atspi.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "platform/atspi/bus.h"
#include "platform/atspi/element.h"
#include "platform/atspi/x11.h"
#include "platform/atspi/x11_input.h"
#include "util/text.h"

namespace pelorix::platform::atspi {
namespace {

bool has_environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// The registry's desktop, whose children are the applications.
const Reference kDesktop{kRegistryName, kRootPath};

// The rules libatspi subscribes its connection to when it starts (its cache upkeep).
constexpr const char* kLibatspiEventRules[] = {
    "type='signal',interface='org.a11y.atspi.Cache',member='AddAccessible'",
    "type='signal',interface='org.a11y.atspi.Cache',member='RemoveAccessible'",
    "type='signal',interface='org.a11y.atspi.Event.Object',member='ChildrenChanged'",
    "type='signal',interface='org.a11y.atspi.Event.Object',member='PropertyChange'",
    "type='signal',interface='org.a11y.atspi.Event.Object',member='StateChanged'",
};

// The process behind a connection, by its unique name; the bus never reuses one, so the answer
// holds as long as the name exists.
pid_t owner_of(const std::string& bus_name) {
  static auto* owners = new std::map<std::string, pid_t>();
  if (auto known = owners->find(bus_name); known != owners->end()) return known->second;
  Message reply;
  const char* name = bus_name.c_str();
  if (call(
          {"org.freedesktop.DBus", "/org/freedesktop/DBus"}, "org.freedesktop.DBus",
          "GetConnectionUnixProcessID",
          [&](DBusMessageIter* args) {
            dbus_message_iter_append_basic(args, DBUS_TYPE_STRING, &name);
          },
          &reply) != kAXErrorSuccess)
    return 0;
  dbus_uint32_t pid = 0;
  if (dbus_message_get_args(reply.get(), nullptr, DBUS_TYPE_UINT32, &pid, DBUS_TYPE_INVALID) == 0)
    return 0;
  owners->emplace(bus_name, static_cast<pid_t>(pid));
  return static_cast<pid_t>(pid);
}

// Toolkit bridges follow their widgets' removal (GTK 3's forgets a destroyed widget's object,
// which then reads as gone) only while some client listens for changes; libatspi's first
// contact with an application used to have that effect. The registry tells the applications
// that pelorix listens; the events themselves are not routed to its connection.
void listen_for_changes() {
  Message reply;
  const char* event = "object:children-changed";
  call(
      {kRegistryName, "/org/a11y/atspi/registry"}, "org.a11y.atspi.Registry", "RegisterEvent",
      [&](DBusMessageIter* args) {
        dbus_message_iter_append_basic(args, DBUS_TYPE_STRING, &event);
      },
      &reply);
}

// The X button of a pointer event and whether it goes down; nothing for moves.
std::optional<std::pair<unsigned, bool>> x_button(const PointerEvent& event) {
  switch (event.type) {
    case kCGEventLeftMouseDown:
      return std::pair<unsigned, bool>(1, true);
    case kCGEventLeftMouseUp:
      return std::pair<unsigned, bool>(1, false);
    case kCGEventRightMouseDown:
      return std::pair<unsigned, bool>(3, true);
    case kCGEventRightMouseUp:
      return std::pair<unsigned, bool>(3, false);
    case kCGEventOtherMouseDown:
    case kCGEventOtherMouseUp:
      // Only the middle button is an "other" button pelorix presses.
      if (event.button != kCGMouseButtonCenter) return std::nullopt;
      return std::pair<unsigned, bool>(2, event.type == kCGEventOtherMouseDown);
    default:
      return std::nullopt;
  }
}

bool pointer_release(CGEventType type) {
  return type == kCGEventLeftMouseUp || type == kCGEventRightMouseUp ||
         type == kCGEventOtherMouseUp;
}

}  // namespace

bool Desktop::connect() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (connected_ == 1 && accessibility_bus() != nullptr &&
      accessibility_bus_generation() != announced_on_) {
    // A new connection (the bus came back, or this is a forked child): the registry forgets a
    // listener whose connection closed.
    announced_on_ = accessibility_bus_generation();
    listen_for_changes();
  }
  if (connected_ >= 0) return connected_ == 1;
  // Without a session bus, libatspi would have D-Bus start one of its own ("autolaunch"),
  // leaving a daemon behind; a desktop that has an accessibility bus has a session bus too.
  if (!has_environment("AT_SPI_BUS_ADDRESS") && !has_environment("DBUS_SESSION_BUS_ADDRESS")) {
    connected_ = 0;
    return false;
  }
  // libatspi keeps copies of names, roles, states and children that only its event handling
  // keeps current, and we run no event loop: every read must ask the application. (Its cache
  // mask cannot say so: without cached states libatspi calls the application from inside its
  // own message dispatch and deadlocks.)
  g_setenv("ATSPI_NO_CACHE", "1", FALSE);
  int outcome = atspi_init();
  connected_ = (outcome == 0 || outcome == 1) && accessibility_bus() != nullptr ? 1 : 0;
  if (connected_ == 1) {
    atspi_set_timeout(kCallTimeoutMs, kCallTimeoutMs);
    announced_on_ = accessibility_bus_generation();
    listen_for_changes();
  }
  // Applications are reached through pelorix's own connection (bus.h); libatspi's own one is
  // never read, so it is told to receive no events either, rather than let them pile up.
  if (DBusConnection* own = atspi_get_a11y_bus(); own != nullptr) {
    for (const char* rule : kLibatspiEventRules) dbus_bus_remove_match(own, rule, nullptr);
    dbus_connection_flush(own);
  }
  return connected_ == 1;
}

bool Desktop::process_trusted() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (!connect()) return false;
  // Reachable means the registry answers now. It is given longer than an application's
  // request: a bus busy with a browser's flood of events delays the answer by seconds, and
  // "accessibility not enabled" would send the user to look in the wrong place. A bus or
  // registry that is not there answers at once.
  dbus_int32_t count = 0;
  return get_int_property(kDesktop, kAccessibleInterface, "ChildCount", &count, kRegistryWaitMs) ==
         kAXErrorSuccess;
}

AtspiAccessible* Desktop::find_application(pid_t pid) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (!connect()) return nullptr;
  // The registry's list of applications, read here: were libatspi to hand them out, it would
  // meet (and ask for a description of the whole tree of) every application before the one
  // wanted.
  Message reply;
  DBusMessageIter args;
  DBusMessageIter entries;
  if (call(kDesktop, kAccessibleInterface, "GetChildren", nullptr, &reply) != kAXErrorSuccess ||
      dbus_message_has_signature(reply.get(), "a(so)") == 0 ||
      dbus_message_iter_init(reply.get(), &args) == 0)
    return nullptr;
  AtspiAccessible* found = nullptr;
  for (dbus_message_iter_recurse(&args, &entries);
       found == nullptr && dbus_message_iter_get_arg_type(&entries) != DBUS_TYPE_INVALID;
       dbus_message_iter_next(&entries)) {
    std::optional<Reference> application = read_reference(&entries);
    if (application && owner_of(application->bus_name) == pid)
      found = make_accessible(*application);
  }
  if (found != nullptr) {
    // Only the application object answers for its toolkit; libatspi keeps the answer for all
    // of the application's objects (GTK 4's positions depend on it).
    g_free(atspi_accessible_get_toolkit_name(found, nullptr));
    g_free(atspi_accessible_get_toolkit_version(found, nullptr));
  }
  return found;
}

AXUIElementRef Desktop::create_application(pid_t pid) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (!connect()) return nullptr;
  // Like the system, any pid gets an element; a process that has not registered (yet) is
  // looked up again when the element is used.
  return make_element(find_application(pid), pid, true);
}

bool Desktop::allow_event_source(CGEventSourceStateID state) {
  // XTest types into whichever window has the keyboard focus: there is no private event
  // state, so nothing can be typed without the focus.
  return state != kCGEventSourceStatePrivate && x11::available();
}

bool Desktop::allow_keyboard_event(CGKeyCode, bool) {
  return true;
}

void Desktop::post_keyboard_event(pid_t pid, const KeyEvent& event) {
  if (event.flags) {
    // A key combination: every key, modifiers included, is an event of its own, pressed and
    // released as it comes. A release is never held back, so nothing stays pressed.
    auto keysym = x11::keysym_for_mac_key(event.key_code);
    if (!keysym) return;
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (event.key_down && !x11::focus_process(pid)) return;
    x11::key_event(*keysym, event.key_down);
    return;
  }
  // Every event names its character; Shift is pressed for the characters that need it, so
  // the separate modifier events (which carry no character) need no key of their own.
  // The code point a key event carries: one unit, or both halves of a surrogate pair.
  auto character = text::single_code_point(event.units);
  if (!character) return;
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (event.key_down && !x11::focus_process(pid)) return;
  x11::type_character(*character, event.key_down);
}

bool Desktop::allow_pointer_event(CGEventType, std::optional<CGPoint> position) {
  // A point off the screen could not be reached: XTest would stop the pointer at the edge.
  if (position) return x11::on_screen(position->x, position->y);
  return x11::available();
}

void Desktop::post_pointer_event(const PointerEvent& event) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (event.type == kCGEventScrollWheel) {
    if (event.wheel[0] != 0) x11::scroll_wheel(true, event.wheel[0]);
    if (event.wheel[1] != 0) x11::scroll_wheel(false, event.wheel[1]);
    return;
  }
  // Like the system, every pointer event carries the position the pointer moves to first.
  if (!event.position || !x11::move_pointer(event.position->x, event.position->y)) {
    // A button may still have to come up: a release is never held back.
    if (!pointer_release(event.type)) return;
  }
  if (auto button = x_button(event); button) x11::pointer_button(button->first, button->second);
}

Desktop& desktop() {
  // Never destroyed: element references may outlive every static in the process.
  static Desktop* const instance = new Desktop();
  return *instance;
}

}  // namespace pelorix::platform::atspi
