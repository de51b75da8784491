// The plain reads of an accessible that the attributes, actions and writes build on, each
// answering with the status the system would give.
#pragma once

#include <atspi/atspi.h>

#include <string>
#include <string_view>

#include "platform/accessibility.h"
#include "platform/atspi/holders.h"

namespace pelorix::platform::atspi {

struct States {
  Owned<AtspiStateSet> set;
  bool has(AtspiStateType state) const {
    return set && atspi_state_set_contains(set.get(), state) != 0;
  }
};

// The status a failed call's error means.
::AXError status_of(const GError* error);

::AXError read_role(AtspiAccessible* accessible, AtspiRole* role);
// The states; a defunct element is kAXErrorInvalidUIElement.
::AXError read_states(AtspiAccessible* accessible, States* states);
// The name and the description; one that is not a string is kAXErrorFailure.
::AXError read_name(AtspiAccessible* accessible, std::string* out);
::AXError read_description(AtspiAccessible* accessible, std::string* out);
::AXError read_parent(AtspiAccessible* accessible, Owned<AtspiAccessible>* out);
// The AX role (docs/atspi-mapping.md, "Roles").
::AXError ax_role(AtspiAccessible* accessible, std::string* out);

// `unsupported`, unless the element is gone or does not answer: then that says more.
::AXError unsupported_unless_gone(AtspiAccessible* accessible, ::AXError unsupported);

// The toolkit's name and version, "GTK 4.8.3" for example; empty parts when unknown.
std::string toolkit(AtspiAccessible* accessible);
// The object path of every application's root object.
inline constexpr std::string_view kApplicationPath = "/org/a11y/atspi/accessible/root";
// Whether this is the application object, the root of an application's tree.
bool is_application_object(AtspiAccessible* accessible);

}  // namespace pelorix::platform::atspi
