// Reads sent as D-Bus calls of our own, so that several go out before the first reply is
// awaited: the application answers the second without waiting for the caller in between.
#pragma once

#include <atspi/atspi.h>

#include "platform/accessibility.h"
#include "platform/atspi/reads.h"

namespace pelorix::platform::atspi {

// The role and the states of an element in one round trip; both are live reads, as with two
// calls one after the other.
::AXError read_role_and_states(AtspiAccessible* accessible, AtspiRole* role, States* states);

}  // namespace pelorix::platform::atspi
