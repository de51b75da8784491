// The attributes that can be written: AXValue and AXFocused.
#pragma once

#include <atspi/atspi.h>
#include <sys/types.h>

#include "platform/accessibility.h"
#include "platform/cf_object.h"

namespace pelorix::platform::atspi {

::AXError write_value(AtspiAccessible* accessible, CFTypeRef value);
::AXError write_focus(AtspiAccessible* accessible, pid_t pid, CFTypeRef value);

}  // namespace pelorix::platform::atspi
