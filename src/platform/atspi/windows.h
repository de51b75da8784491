// Where elements are on screen, and which X window shows a window of the accessibility tree.
#pragma once

#include <atspi/atspi.h>
#include <sys/types.h>

#include <optional>
#include <vector>

#include "platform/accessibility.h"
#include "platform/atspi/holders.h"
#include "platform/atspi/x11.h"

namespace pelorix::platform::atspi {

// The toplevel accessible (a direct child of the application) that holds the element; empty
// when there is none.
Owned<AtspiAccessible> toplevel_of(AtspiAccessible* accessible);
// The X window showing a toplevel accessible: the process's window with its title, and of
// those the one whose size matches.
std::optional<x11::Window> x_window_of(AtspiAccessible* toplevel, pid_t pid);
// The element's rectangle in screen coordinates.
::AXError extents(AtspiAccessible* accessible, pid_t pid, CGRect* out);
// The children of the application that are windows on screen, and which of them is active.
::AXError shown_windows(AtspiAccessible* application, std::vector<Owned<AtspiAccessible>>* out,
                        std::optional<std::size_t>* active);

}  // namespace pelorix::platform::atspi
