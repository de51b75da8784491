// What an element shows: its text, its value and its label.
#pragma once

#include <atspi/atspi.h>

#include <string>

#include "platform/accessibility.h"
#include "platform/cf_object.h"

namespace pelorix::platform::atspi {

// AXValue: text for text roles, a number for value widgets and check boxes, the name for
// labels without text.
::AXError read_value(AtspiAccessible* accessible, CFTypeRef* value);
// AXLabel: the names in the labelled-by relation, else the element's own name.
::AXError read_label(AtspiAccessible* accessible, std::string* out);

}  // namespace pelorix::platform::atspi
