#include "platform/atspi/desktop.h"

#include <atspi/atspi.h>

#include <cstdlib>

#include "platform/atspi/element.h"
#include "platform/atspi/x11.h"

namespace pelorix::platform::atspi {
namespace {

bool has_environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// The code point a key event carries: one unit, or both halves of a surrogate pair.
std::optional<char32_t> character_of(const std::u16string& units) {
  if (units.size() == 1 && (units[0] < 0xD800 || units[0] > 0xDFFF)) return units[0];
  if (units.size() == 2 && units[0] >= 0xD800 && units[0] <= 0xDBFF && units[1] >= 0xDC00 &&
      units[1] <= 0xDFFF)
    return 0x10000 + ((static_cast<char32_t>(units[0]) - 0xD800) << 10) + (units[1] - 0xDC00);
  return std::nullopt;
}

}  // namespace

bool Desktop::connect() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
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
  connected_ = (outcome == 0 || outcome == 1) && atspi_get_a11y_bus() != nullptr ? 1 : 0;
  if (connected_ == 1) atspi_set_timeout(kCallTimeoutMs, kCallTimeoutMs);
  return connected_ == 1;
}

bool Desktop::process_trusted() {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (!connect()) return false;
  // Reachable means the registry answers now.
  AtspiAccessible* root = atspi_get_desktop(0);
  if (root == nullptr) return false;
  GError* error = nullptr;
  atspi_accessible_get_child_count(root, &error);
  g_object_unref(root);
  if (error != nullptr) {
    g_error_free(error);
    return false;
  }
  return true;
}

AtspiAccessible* Desktop::find_application(pid_t pid) {
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (!connect()) return nullptr;
  AtspiAccessible* root = atspi_get_desktop(0);
  if (root == nullptr) return nullptr;
  GError* error = nullptr;
  gint count = atspi_accessible_get_child_count(root, &error);
  AtspiAccessible* found = nullptr;
  for (gint i = 0; error == nullptr && i < count && found == nullptr; ++i) {
    AtspiAccessible* application = atspi_accessible_get_child_at_index(root, i, &error);
    if (error != nullptr) {
      g_clear_error(&error);
      continue;
    }
    if (application == nullptr) continue;
    guint owner = atspi_accessible_get_process_id(application, &error);
    if (error == nullptr && static_cast<pid_t>(owner) == pid)
      found = application;
    else
      g_object_unref(application);
    g_clear_error(&error);
  }
  if (error != nullptr) g_error_free(error);
  g_object_unref(root);
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

bool Desktop::allow_event_source(CGEventSourceStateID) {
  return x11::available();
}

bool Desktop::allow_keyboard_event(CGKeyCode, bool) {
  return true;
}

void Desktop::post_keyboard_event(pid_t pid, const KeyEvent& event) {
  // Every event names its character; Shift is pressed for the characters that need it, so
  // the separate modifier events (which carry no character) need no key of their own.
  auto character = character_of(event.units);
  if (!character) return;
  std::lock_guard<std::recursive_mutex> guard(mutex_);
  if (event.key_down && !x11::focus_process(pid)) return;
  x11::type_character(*character, event.key_down);
}

Desktop& desktop() {
  // Never destroyed: element references may outlive every static in the process.
  static Desktop* const instance = new Desktop();
  return *instance;
}

}  // namespace pelorix::platform::atspi
