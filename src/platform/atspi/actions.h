// The actions: presses, menus, raising windows, stepping values, and the keyboard focus.
#pragma once

#include <atspi/atspi.h>
#include <sys/types.h>

#include "platform/accessibility.h"

namespace pelorix::platform::atspi {

// A press: the element's own action when it has one; a pointer click for buttons and the like
// that offer none; the keyboard focus for text fields, which is what clicking into one does.
::AXError press(AtspiAccessible* accessible, pid_t pid);
::AXError show_menu(AtspiAccessible* accessible, pid_t pid);
::AXError raise_window(AtspiAccessible* accessible, pid_t pid);
// AXIncrement (up) or AXDecrement.
::AXError step(AtspiAccessible* accessible, bool up);
// Gives the element the keyboard focus.
::AXError grab_focus(AtspiAccessible* accessible, pid_t pid);

}  // namespace pelorix::platform::atspi
