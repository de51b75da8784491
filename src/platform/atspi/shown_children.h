// The children of an element too large to list: the ones on screen, at a cost to the
// application in proportion to what it shows.
//
// An element that manages its descendants (a spreadsheet, a tree or table view) makes a child
// object each time one is asked for and may claim billions of them (LibreOffice Calc's sheet
// counts 2,147,483,647); asking for all of them, at once (GetChildren, Collection.GetMatches,
// Cache.GetItems) or one index at a time, has the application make each one, and it stops
// answering for minutes while its memory grows by gigabytes. Such an element is read with the
// children that lie in its visible area instead: Component.GetAccessibleAtPoint names the child
// at its top left and bottom right corners, Table.GetRowAtIndex and GetColumnAtIndex place them,
// and Table.GetAccessibleAt asks for the cells between, pipelined, at most kMaxShownChildren.
// Where that cannot be done (no Table or Component, a corner on no child), it is read with its
// first kMaxFirstChildren children that are not hidden, asked by index, pipelined.
#pragma once

#include <atspi/atspi.h>
#include <dbus/dbus.h>

#include <cstddef>
#include <vector>

#include "platform/accessibility.h"
#include "platform/atspi/holders.h"

namespace pelorix::platform::atspi {

// At most this many cells of a table on screen are read: a sheet at the smallest zoom on a
// large screen shows a few thousand.
inline constexpr std::size_t kMaxShownChildren = 4096;
// Without a table to place them, this many children from the first.
inline constexpr std::size_t kMaxFirstChildren = 256;

// Whether an element is listed whole: not when it manages its descendants or claims more than
// kMaxChildren children. `count` < 0: no count (listed, as far as the count goes).
bool lists_all_children(bool manages_descendants, dbus_int32_t count);

// The children of `accessible` on screen, as described above, in order (row by row); only the
// application's own elements.
::AXError read_shown_children(AtspiAccessible* accessible, dbus_int32_t count,
                              std::vector<Owned<AtspiAccessible>>* out);

}  // namespace pelorix::platform::atspi
