// The actions: presses, menus, raising windows, stepping values, and the keyboard focus.
#pragma once

#include <atspi/atspi.h>
#include <sys/types.h>

#include "platform/accessibility.h"

namespace pelorix::platform::atspi {

// A press, by what the element is (docs/atspi-mapping.md, "Actions"): the keyboard focus for
// text fields, which is what clicking into one does; for cells and rows, the row selected, and
// activated by the second press of a double click; for anything else the action that means a
// press, else a pointer click for buttons and the like. Never an action that means something
// else (an entry's "activate" is Enter).
::AXError press(AtspiAccessible* accessible, pid_t pid);
::AXError show_menu(AtspiAccessible* accessible, pid_t pid);
::AXError raise_window(AtspiAccessible* accessible, pid_t pid);
// Scrolls the element into view (Component.ScrollTo, anywhere in the view).
::AXError scroll_to_visible(AtspiAccessible* accessible);
// AXIncrement (up) or AXDecrement.
::AXError step(AtspiAccessible* accessible, bool up);
// Gives the element the keyboard focus.
::AXError grab_focus(AtspiAccessible* accessible, pid_t pid);

}  // namespace pelorix::platform::atspi
