#include "platform/atspi/actions.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/atspi/holders.h"
#include "platform/atspi/mapping.h"
#include "platform/atspi/reads.h"
#include "platform/atspi/windows.h"
#include "platform/atspi/x11.h"
#include "platform/failure_detail.h"

namespace pelorix::platform::atspi {

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The most actions of one element asked about: real widgets offer a handful, while an
// application may claim 2^31-1 and answer every index.
constexpr gint kMaxActions = 64;

// The index of the first of the element's actions named like one of `names` (compared
// without case, in the order of `names`), or -1. Actions past kMaxActions are not looked at.
gint find_action(AtspiAction* action, std::initializer_list<std::string_view> names,
                 ::AXError* status) {
  ErrorSlot error;
  gint count = atspi_action_get_n_actions(action, error.out());
  if (error) {
    *status = status_of(error.error);
    return -1;
  }
  count = std::clamp<gint>(count, 0, kMaxActions);
  std::vector<std::string> have;
  for (gint i = 0; i < count; ++i) {
    // A name that cannot be read matches nothing; the others are still compared.
    ErrorSlot name_error;
    Text name(atspi_action_get_action_name(action, i, name_error.out()));
    have.push_back(name_error ? std::string() : lower(name.str()));
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

// How long a scrolled element is given to arrive in view.
constexpr int kScrollPolls = 20;
constexpr std::chrono::milliseconds kScrollPollInterval{50};

// Whether the middle of `rect` lies inside the X window that shows the element's toplevel
// (true when that window cannot be told).
bool middle_in_window(AtspiAccessible* accessible, pid_t pid, const CGRect& rect) {
  Owned<AtspiAccessible> top = toplevel_of(accessible);
  if (!top) return true;
  auto window = x_window_of(top.get(), pid);
  if (!window) return true;
  double x = rect.origin.x + rect.size.width / 2;
  double y = rect.origin.y + rect.size.height / 2;
  return x >= window->x && y >= window->y && x < window->x + window->width &&
         y < window->y + window->height;
}

bool usable_extents(AtspiAccessible* accessible, pid_t pid, CGRect* rect) {
  return extents(accessible, pid, rect) == kAXErrorSuccess && rect->size.width > 0 &&
         rect->size.height > 0;
}

// Where to click the element: its rectangle, once its middle is inside its window. An element
// scrolled out of its window (further down a long page) is brought into view first, where the
// application can scroll it there; a click outside the window would land on another window or
// on none. Browsers scroll their pages a moment after they are asked (Firefox's page lives in
// another process, and answers (-1, -1, -1, -1) for what is out of view until then).
::AXError place_in_view(AtspiAccessible* accessible, pid_t pid, CGRect* rect) {
  bool usable = usable_extents(accessible, pid, rect);
  if (usable && middle_in_window(accessible, pid, *rect)) return kAXErrorSuccess;
  if (scroll_to_visible(accessible) != kAXErrorSuccess)
    return usable ? kAXErrorSuccess : kAXErrorActionUnsupported;
  for (int polls = 0; polls < kScrollPolls; ++polls) {
    if (usable_extents(accessible, pid, rect) && middle_in_window(accessible, pid, *rect))
      return kAXErrorSuccess;
    std::this_thread::sleep_for(kScrollPollInterval);
  }
  // Still out of its window: no click where it would hit something else.
  return kAXErrorCannotComplete;
}

// A pointer click at the middle of the element, for toolkits that offer no action for it.
::AXError click_middle(AtspiAccessible* accessible, pid_t pid, unsigned button) {
  States states;
  if (::AXError status = read_states(accessible, &states); status != kAXErrorSuccess) return status;
  // GTK 4 leaves "showing" out below the window; "visible" is what it keeps up to date.
  if (!states.has(ATSPI_STATE_SHOWING) && !states.has(ATSPI_STATE_VISIBLE))
    return kAXErrorActionUnsupported;
  CGRect rect{};
  if (::AXError placed = place_in_view(accessible, pid, &rect); placed != kAXErrorSuccess)
    return placed;
  // The middle as a screen point; a rectangle no screen holds (an application may claim any
  // doubles) gets no click rather than a conversion out of int's range.
  double middle_x = rect.origin.x + rect.size.width / 2;
  double middle_y = rect.origin.y + rect.size.height / 2;
  constexpr double kFarthest = 1 << 20;
  if (!(std::fabs(middle_x) < kFarthest && std::fabs(middle_y) < kFarthest))
    return kAXErrorActionUnsupported;
  auto x = static_cast<int>(middle_x);
  auto y = static_cast<int>(middle_y);
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

namespace {

// Two presses of one element this close together are a double click, as for a mouse (GTK's
// default double-click time is 400 ms).
constexpr auto kDoubleClickTime = std::chrono::milliseconds(500);

// The element pressed last (its application's bus name and its object path), and when.
struct LastPress {
  std::string bus;
  std::string path;
  std::chrono::steady_clock::time_point at;
};

LastPress& last_press() {
  static auto* last = new LastPress();
  return *last;
}

LastPress identity_of(AtspiAccessible* accessible) {
  const AtspiObject& object = accessible->parent;
  LastPress out;
  if (object.app != nullptr && object.app->bus_name != nullptr) out.bus = object.app->bus_name;
  if (object.path != nullptr) out.path = object.path;
  return out;
}

// How long ago the same element was pressed, when that is within the double-click time.
std::optional<std::chrono::steady_clock::duration> since_own_press(AtspiAccessible* accessible) {
  const LastPress& last = last_press();
  LastPress now = identity_of(accessible);
  if (last.path.empty() || last.path != now.path || last.bus != now.bus) return std::nullopt;
  auto since = std::chrono::steady_clock::now() - last.at;
  if (since > kDoubleClickTime) return std::nullopt;
  return since;
}

void remember_press(AtspiAccessible* accessible) {
  last_press() = identity_of(accessible);
  last_press().at = std::chrono::steady_clock::now();
}

// Selects a cell's row (or an item) through its parent: the Table interface selects the row of
// the cell at the element's index; else the Selection interface selects the child. `done` says
// whether either did.
::AXError select_through_parent(AtspiAccessible* accessible, bool* done) {
  *done = false;
  Owned<AtspiAccessible> parent;
  if (::AXError read = read_parent(accessible, &parent); read != kAXErrorSuccess || !parent)
    return read;
  ErrorSlot index_error;
  gint index = atspi_accessible_get_index_in_parent(accessible, index_error.out());
  if (index_error) return status_of(index_error.error);
  if (index < 0) return kAXErrorSuccess;
  if (Owned<AtspiTable> table = iface(parent.get(), atspi_accessible_get_table_iface)) {
    ErrorSlot row_error;
    gint row = atspi_table_get_row_at_index(table.get(), index, row_error.out());
    if (!row_error && row >= 0) {
      ErrorSlot select_error;
      gboolean selected = atspi_table_add_row_selection(table.get(), row, select_error.out());
      if (!select_error && selected) {
        *done = true;
        return kAXErrorSuccess;
      }
    }
  }
  if (Owned<AtspiSelection> selection = iface(parent.get(), atspi_accessible_get_selection_iface)) {
    ErrorSlot select_error;
    gboolean selected = atspi_selection_select_child(selection.get(), index, select_error.out());
    *done = !select_error && selected;
  }
  return kAXErrorSuccess;
}

// Whether the element is a choice of a combo box (an option of a web page's select): its
// parent is the combo box's list.
bool is_combo_choice(AtspiAccessible* accessible) {
  Owned<AtspiAccessible> list;
  if (read_parent(accessible, &list) != kAXErrorSuccess || !list) return false;
  Owned<AtspiAccessible> combo;
  if (read_parent(list.get(), &combo) != kAXErrorSuccess || !combo) return false;
  AtspiRole role = ATSPI_ROLE_INVALID;
  return read_role(combo.get(), &role) == kAXErrorSuccess && role == ATSPI_ROLE_COMBO_BOX;
}

// A press on a cell, row or list item. A check box in a cell is toggled. With an "activate"
// action (GTK 3's cells: row activation, which answers a list dialog) the first press selects
// the row and the second press of a double click activates it; without one, each press is a
// pointer click, which the toolkit counts into a double click itself.
::AXError press_row(AtspiAccessible* accessible, pid_t pid, AtspiAction* action) {
  ::AXError status = kAXErrorSuccess;
  gint toggle = action != nullptr ? find_action(action, {"toggle"}, &status) : -1;
  if (status != kAXErrorSuccess) return status;
  if (toggle >= 0) return do_action(action, toggle);
  gint activate = action != nullptr ? find_action(action, {"activate"}, &status) : -1;
  if (status != kAXErrorSuccess) return status;
  if (activate >= 0 && since_own_press(accessible)) return do_action(action, activate);
  if (activate < 0) {
    status = click_middle(accessible, pid, 1);
    if (status != kAXErrorActionUnsupported) return status;
  }
  bool selected = false;
  if ((status = select_through_parent(accessible, &selected)) != kAXErrorSuccess) return status;
  if (selected) return kAXErrorSuccess;
  return activate >= 0 ? click_middle(accessible, pid, 1) : kAXErrorActionUnsupported;
}

// How long a toolkit holds a button's press before it counts it, absorbing another press
// meanwhile: Qt's push buttons animate a press for 100 ms, GTK 4 emits "clicked" 250 ms after
// the action. A second press of the same button waits that long, so two presses count twice.
std::chrono::milliseconds press_hold_time(AtspiAccessible* accessible) {
  std::string kit = toolkit(accessible);
  if (kit.rfind("GTK 4.", 0) == 0) return std::chrono::milliseconds(300);
  if (kit.rfind("Qt", 0) == 0) return std::chrono::milliseconds(150);
  return std::chrono::milliseconds(0);
}

// A press by what the element is (docs/atspi-mapping.md, "Actions"): text fields take the
// focus, rows are selected (and activated by the second press of a double click), everything
// else gets the action that means a press, else a pointer click. An action that means
// something else (an entry's "activate" is Enter) is never a press.
::AXError press_element(AtspiAccessible* accessible, pid_t pid) {
  AtspiRole role = ATSPI_ROLE_INVALID;
  ::AXError status = read_role(accessible, &role);
  if (status != kAXErrorSuccess) return status;
  if (role_in(kEditableTextRoles, role)) {
    // Focusing a field again would select its whole text (GTK does on every focus grab); a
    // click into a focused field leaves the text as it is.
    States states;
    if ((status = read_states(accessible, &states)) != kAXErrorSuccess) return status;
    return states.has(ATSPI_STATE_FOCUSED) ? kAXErrorSuccess : grab_focus(accessible, pid);
  }
  Owned<AtspiAction> action = iface(accessible, atspi_accessible_get_action_iface);
  if (role_in(kRowRoles, role)) return press_row(accessible, pid, action.get());
  if (action) {
    gint index = find_action(action.get(), {"click", "press", "toggle", "jump", "open", "activate"},
                             &status);
    if (status != kAXErrorSuccess) return status;
    if (index >= 0) {
      if (auto since = since_own_press(accessible)) {
        auto hold = press_hold_time(accessible);
        if (*since < hold) std::this_thread::sleep_for(hold - *since);
      }
      return do_action(action.get(), index);
    }
  }
  // A choice of a combo box without a press of its own is chosen through the list's Selection,
  // as picking it by hand does: Firefox's options offer only "select", which does nothing while
  // the list is closed, and a closed list has no place on screen to click.
  if (role == ATSPI_ROLE_MENU_ITEM && is_combo_choice(accessible)) {
    bool selected = false;
    if ((status = select_through_parent(accessible, &selected)) != kAXErrorSuccess) return status;
    if (selected) return kAXErrorSuccess;
  }
  if (role_in(kClickableRoles, role)) return click_middle(accessible, pid, 1);
  return kAXErrorActionUnsupported;
}

// Why an element took no press: what it is, and the actions it offers instead (or that it is
// not on screen, where a pointer click was the press).
std::string no_press_detail(AtspiAccessible* accessible) {
  std::string role;
  if (ax_role(accessible, &role) != kAXErrorSuccess || role.empty()) role = "element";
  AtspiRole atspi_role = ATSPI_ROLE_INVALID;
  if (read_role(accessible, &atspi_role) == kAXErrorSuccess &&
      (role_in(kClickableRoles, atspi_role) || role_in(kRowRoles, atspi_role))) {
    States states;
    if (read_states(accessible, &states) == kAXErrorSuccess && !states.has(ATSPI_STATE_SHOWING) &&
        !states.has(ATSPI_STATE_VISIBLE))
      return "the " + role + " is not showing, so it cannot be clicked";
    return "the " + role + " has no area on screen to click";
  }
  std::string actions;
  if (Owned<AtspiAction> action = iface(accessible, atspi_accessible_get_action_iface)) {
    ErrorSlot error;
    gint count =
        std::clamp<gint>(atspi_action_get_n_actions(action.get(), error.out()), 0, kMaxActions);
    for (gint i = 0; !error && i < count; ++i) {
      ErrorSlot name_error;
      Text name(atspi_action_get_action_name(action.get(), i, name_error.out()));
      if (name_error || name.str().empty()) continue;
      actions += (actions.empty() ? "\"" : ", \"") + name.str() + "\"";
    }
  }
  return "the " + role +
         " has no press action; its actions: " + (actions.empty() ? std::string("none") : actions);
}

}  // namespace

::AXError press(AtspiAccessible* accessible, pid_t pid) {
  ::AXError status = press_element(accessible, pid);
  if (status == kAXErrorSuccess) remember_press(accessible);
  if (status == kAXErrorActionUnsupported)
    note_failure_detail(status, "AXPress", no_press_detail(accessible));
  return status;
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

::AXError scroll_to_visible(AtspiAccessible* accessible) {
  Owned<AtspiComponent> component = iface(accessible, atspi_accessible_get_component_iface);
  if (!component) return kAXErrorActionUnsupported;
  ErrorSlot error;
  gboolean done = atspi_component_scroll_to(component.get(), ATSPI_SCROLL_ANYWHERE, error.out());
  if (error) return status_of(error.error);
  return done ? kAXErrorSuccess : kAXErrorCannotComplete;
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
  // Each read has a slot of its own and is checked before the next: the first failure is the
  // one reported, and no value is used that was not read.
  double current = 0, increment = 0, low = 0, high = 0;
  struct Read {
    double (*get)(AtspiValue*, GError**);
    double* into;
  };
  for (const Read& read :
       {Read{atspi_value_get_current_value, &current},
        Read{atspi_value_get_minimum_increment, &increment},
        Read{atspi_value_get_minimum_value, &low}, Read{atspi_value_get_maximum_value, &high}}) {
    ErrorSlot error;
    *read.into = read.get(value.get(), error.out());
    if (error) return status_of(error.error);
  }
  if (!(increment > 0)) increment = 1;
  // std::clamp requires low <= high; a toolkit may report bounds the wrong way round (or NaN).
  if (!(low <= high)) return kAXErrorCannotComplete;
  double next = std::clamp(current + (up ? increment : -increment), low, high);
  ErrorSlot error;
  gboolean done = atspi_value_set_current_value(value.get(), next, error.out());
  if (error) return status_of(error.error);
  return done ? kAXErrorSuccess : kAXErrorCannotComplete;
}

}  // namespace pelorix::platform::atspi
