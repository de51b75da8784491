// Where elements are on screen, and which X window shows a window of the accessibility tree.
#pragma once

#include <atspi/atspi.h>
#include <sys/types.h>

#include <optional>
#include <utility>
#include <vector>

#include "platform/accessibility.h"
#include "platform/atspi/holders.h"
#include "platform/atspi/x11.h"

namespace pelorix::platform::atspi {

// The toplevel accessible (a direct child of the application) that holds the element; empty
// when there is none.
Owned<AtspiAccessible> toplevel_of(AtspiAccessible* accessible);
// The X window showing a toplevel accessible: the process's window with its title (popups
// aside), and of those the one whose size matches. `toplevel_size`, when given, receives the
// toplevel's own size as the toolkit reports it.
std::optional<x11::Window> x_window_of(AtspiAccessible* toplevel, pid_t pid,
                                       std::pair<int, int>* toplevel_size = nullptr);
// GTK 4 cannot tell where its windows are and reports positions relative to the window; the
// X server knows where the window is.
bool window_relative(AtspiAccessible* accessible);
// The element's rectangle in screen coordinates.
::AXError extents(AtspiAccessible* accessible, pid_t pid, CGRect* out);
// Whether the toplevel accessible is shown in a popup X window (a menu, a tooltip, a drop-down
// list) of the process, which no user would call the application's main window.
bool shows_popup(AtspiAccessible* window, pid_t pid);
// The children of the application that are windows on screen, and which of them is active.
::AXError shown_windows(AtspiAccessible* application, std::vector<Owned<AtspiAccessible>>* out,
                        std::optional<std::size_t>* active);

}  // namespace pelorix::platform::atspi
