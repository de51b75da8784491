// The children of an element, asked for in as few round trips as the toolkit allows.
#pragma once

#include <atspi/atspi.h>

#include <vector>

#include "platform/accessibility.h"
#include "platform/atspi/desktop.h"
#include "platform/atspi/holders.h"

namespace pelorix::platform::atspi {

// An element that claims more children than this, or manages its descendants, is read with
// those on screen (shown_children.h). Reading children one index at a time stops after this
// long (plus the call under way), and a list longer than this fails, with
// kAXErrorCannotComplete, as for an application that does not answer.
inline constexpr std::size_t kMaxChildren = 100000;
inline constexpr int kChildrenTimeoutMs = 3 * kCallTimeoutMs;

// The children of an element that are not hidden (mapping.h, is_hidden), in order. Its child
// count and states come first, in one round trip: an element too large to list is read as
// shown_children.h says. Otherwise Collection.GetMatches with a rule that asks for the shown state,
// without descending, answers with exactly the element's shown children, in one call; the count and
// one call per index take one more call per child, and one for its role and states. Where the
// application has no Collection interface (GTK 4, Qt), or the call fails for another reason than a
// timeout, the children are read one index at a time. Only the application's own elements are
// children: references to another application's objects are skipped. Whether read_children asks
// this element's application through Collection (the application leaves hidden children out) rather
// than one index at a time.
bool reads_children_by_collection(AtspiAccessible* accessible);

::AXError read_children(AtspiAccessible* accessible, std::vector<Owned<AtspiAccessible>>* out);

}  // namespace pelorix::platform::atspi
