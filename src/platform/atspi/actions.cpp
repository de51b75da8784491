#include "platform/atspi/actions.h"

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/atspi/holders.h"
#include "platform/atspi/mapping.h"
#include "platform/atspi/reads.h"
#include "platform/atspi/windows.h"
#include "platform/atspi/x11.h"

namespace pelorix::platform::atspi {

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The index of the first of the element's actions named like one of `names` (compared
// without case, in the order of `names`), or -1.
gint find_action(AtspiAction* action, std::initializer_list<std::string_view> names,
                 ::AXError* status) {
  ErrorSlot error;
  gint count = atspi_action_get_n_actions(action, error.out());
  if (error) {
    *status = status_of(error.error);
    return -1;
  }
  std::vector<std::string> have;
  for (gint i = 0; i < count; ++i) {
    Text name(atspi_action_get_action_name(action, i, error.out()));
    have.push_back(error ? std::string() : lower(name.str()));
  }
  for (std::string_view wanted : names)
    for (gint i = 0; i < count; ++i)
      if (have[static_cast<std::size_t>(i)] == wanted) return i;
  return -1;
}

::AXError do_action(AtspiAction* action, gint index) {
  ErrorSlot error;
  gboolean done = atspi_action_do_action(action, index, error.out());
  if (error) return status_of(error.error);
  return done ? kAXErrorSuccess : kAXErrorCannotComplete;
}

// A pointer click at the middle of the element, for toolkits that offer no action for it.
::AXError click_middle(AtspiAccessible* accessible, pid_t pid, unsigned button) {
  States states;
  if (::AXError status = read_states(accessible, &states); status != kAXErrorSuccess) return status;
  // GTK 4 leaves "showing" out below the window; "visible" is what it keeps up to date.
  if (!states.has(ATSPI_STATE_SHOWING) && !states.has(ATSPI_STATE_VISIBLE))
    return kAXErrorActionUnsupported;
  CGRect rect{};
  if (extents(accessible, pid, &rect) != kAXErrorSuccess || rect.size.width <= 0 ||
      rect.size.height <= 0)
    return kAXErrorActionUnsupported;
  auto x = static_cast<int>(rect.origin.x + rect.size.width / 2);
  auto y = static_cast<int>(rect.origin.y + rect.size.height / 2);
  return x11::click_at(pid, x, y, button) ? kAXErrorSuccess : kAXErrorCannotComplete;
}

}  // namespace

// Gives the element the keyboard focus. GTK 4 cannot do that through AT-SPI (it answers
// GrabFocus with an error): its text fields get a pointer click, which is what focusing one by
// hand is; its other widgets would be pressed by a click, so for them only their window is
// activated.
::AXError grab_focus(AtspiAccessible* accessible, pid_t pid) {
  Owned<AtspiComponent> component = iface(accessible, atspi_accessible_get_component_iface);
  AtspiRole role = ATSPI_ROLE_INVALID;
  ::AXError status = read_role(accessible, &role);
  if (status != kAXErrorSuccess) return status;
  if (!component) return kAXErrorAttributeUnsupported;
  ErrorSlot error;
  gboolean done = atspi_component_grab_focus(component.get(), error.out());
  if (error) {
    status = status_of(error.error);
    if (status != kAXErrorFailure) return status;
  } else if (done) {
    return kAXErrorSuccess;
  }
  std::optional<x11::Window> window;
  if (Owned<AtspiAccessible> top = toplevel_of(accessible)) window = x_window_of(top.get(), pid);
  if (!window || !x11::activate(window->id)) return kAXErrorCannotComplete;
  if (!role_in(kEditableTextRoles, role)) return kAXErrorSuccess;
  status = click_middle(accessible, pid, 1);
  return status == kAXErrorActionUnsupported ? kAXErrorCannotComplete : status;
}

::AXError press(AtspiAccessible* accessible, pid_t pid) {
  ::AXError status = kAXErrorSuccess;
  if (Owned<AtspiAction> action = iface(accessible, atspi_accessible_get_action_iface)) {
    gint index = find_action(action.get(), {"click", "press", "activate", "toggle", "jump", "open"},
                             &status);
    if (status != kAXErrorSuccess) return status;
    if (index >= 0) return do_action(action.get(), index);
  }
  AtspiRole role = ATSPI_ROLE_INVALID;
  if ((status = read_role(accessible, &role)) != kAXErrorSuccess) return status;
  if (role_in(kClickableRoles, role)) return click_middle(accessible, pid, 1);
  if (role_in(kEditableTextRoles, role)) return grab_focus(accessible, pid);
  return kAXErrorActionUnsupported;
}

::AXError show_menu(AtspiAccessible* accessible, pid_t pid) {
  ::AXError status = kAXErrorSuccess;
  if (Owned<AtspiAction> action = iface(accessible, atspi_accessible_get_action_iface)) {
    gint index = find_action(
        action.get(),
        {"showmenu", "show menu", "menu.popup", "popup", "popup menu", "context menu", "menu"},
        &status);
    if (status != kAXErrorSuccess) return status;
    if (index >= 0) return do_action(action.get(), index);
  }
  return click_middle(accessible, pid, 3);
}

::AXError raise_window(AtspiAccessible* accessible, pid_t pid) {
  std::string role;
  if (::AXError status = ax_role(accessible, &role); status != kAXErrorSuccess) return status;
  if (role != "AXWindow") return kAXErrorActionUnsupported;
  auto window = x_window_of(accessible, pid);
  if (!window || !x11::activate(window->id)) return kAXErrorCannotComplete;
  return kAXErrorSuccess;
}

::AXError step(AtspiAccessible* accessible, bool up) {
  ::AXError status = kAXErrorSuccess;
  if (Owned<AtspiAction> action = iface(accessible, atspi_accessible_get_action_iface)) {
    gint index = find_action(action.get(), {up ? "increase" : "decrease"}, &status);
    if (status != kAXErrorSuccess) return status;
    if (index >= 0) return do_action(action.get(), index);
  }
  Owned<AtspiValue> value = iface(accessible, atspi_accessible_get_value_iface);
  if (!value) return kAXErrorActionUnsupported;
  ErrorSlot error;
  double current = atspi_value_get_current_value(value.get(), error.out());
  double increment = atspi_value_get_minimum_increment(value.get(), error.out());
  double low = atspi_value_get_minimum_value(value.get(), error.out());
  double high = atspi_value_get_maximum_value(value.get(), error.out());
  if (error) return status_of(error.error);
  if (!(increment > 0)) increment = 1;
  double next = std::clamp(current + (up ? increment : -increment), low, high);
  gboolean done = atspi_value_set_current_value(value.get(), next, error.out());
  if (error) return status_of(error.error);
  return done ? kAXErrorSuccess : kAXErrorCannotComplete;
}

}  // namespace pelorix::platform::atspi
