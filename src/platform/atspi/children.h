// The children of an element, asked for in as few round trips as the toolkit allows.
#pragma once

#include <atspi/atspi.h>

#include <vector>

#include "platform/accessibility.h"
#include "platform/atspi/holders.h"

namespace pelorix::platform::atspi {

// The children of an element that are not hidden (mapping.h, is_hidden), in order.
// Collection.GetMatches with a rule that asks for the shown state, without descending, answers
// with exactly the element's shown children, in one call; the count and one call per index
// take one more call per child, and one for its role and states. Where the application has no
// Collection interface (GTK 4, Qt), or the call fails for another reason than a timeout or a
// vanished element, the children are read one index at a time.
// Whether read_children asks this element's application through Collection (the application
// leaves hidden children out) rather than one index at a time.
bool reads_children_by_collection(AtspiAccessible* accessible);

::AXError read_children(AtspiAccessible* accessible, std::vector<Owned<AtspiAccessible>>* out);

}  // namespace pelorix::platform::atspi
