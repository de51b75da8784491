// The attribute reads of the real desktop: one reader per AX attribute name.
#pragma once

#include <atspi/atspi.h>
#include <sys/types.h>

#include <string>

#include "platform/accessibility.h"
#include "platform/cf_object.h"

namespace pelorix::platform::atspi {

// The value (+1) of the attribute `name` of the accessible of process `pid`.
::AXError read_attribute(AtspiAccessible* accessible, pid_t pid, const std::string& name,
                         CFTypeRef* value);

}  // namespace pelorix::platform::atspi
