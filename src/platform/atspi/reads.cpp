#include "platform/atspi/reads.h"

#include "platform/atspi/bus.h"
#include "platform/atspi/mapping.h"
#include "platform/atspi/requests.h"

namespace pelorix::platform::atspi {

namespace {

bool parent_is_application(AtspiAccessible* accessible) {
  Owned<AtspiAccessible> parent;
  if (read_parent(accessible, &parent) != kAXErrorSuccess || !parent) return false;
  AtspiRole role = ATSPI_ROLE_INVALID;
  return read_role(parent.get(), &role) == kAXErrorSuccess && role == ATSPI_ROLE_APPLICATION;
}

}  // namespace

::AXError status_of(const GError* error) {
  if (error == nullptr || error->message == nullptr) return kAXErrorFailure;
  return status_of_text(error->message);
}

::AXError read_role(AtspiAccessible* accessible, AtspiRole* role) {
  ErrorSlot error;
  *role = atspi_accessible_get_role(accessible, error.out());
  return error ? status_of(error.error) : kAXErrorSuccess;
}

::AXError unsupported_unless_gone(AtspiAccessible* accessible, ::AXError unsupported) {
  AtspiRole role = ATSPI_ROLE_INVALID;
  ::AXError read = read_role(accessible, &role);
  return read != kAXErrorSuccess ? read : unsupported;
}

::AXError read_states(AtspiAccessible* accessible, States* states) {
  states->set = Owned<AtspiStateSet>(atspi_accessible_get_state_set(accessible));
  if (!states->set) {
    // libatspi drops the reason; asking something else recovers it.
    return unsupported_unless_gone(accessible, kAXErrorCannotComplete);
  }
  if (states->has(ATSPI_STATE_DEFUNCT)) {
    // libatspi also answers "defunct" when it could not ask (the application did not reply in
    // time); a call that reports its error tells the two apart.
    AtspiRole role = ATSPI_ROLE_INVALID;
    ::AXError status = read_role(accessible, &role);
    return status == kAXErrorCannotComplete ? status : kAXErrorInvalidUIElement;
  }
  return kAXErrorSuccess;
}

::AXError read_name(AtspiAccessible* accessible, std::string* out) {
  // libatspi reads a name of another type as an empty one.
  return get_string_property(reference_of(accessible), kAccessibleInterface, "Name", out);
}

::AXError read_description(AtspiAccessible* accessible, std::string* out) {
  return get_string_property(reference_of(accessible), kAccessibleInterface, "Description", out);
}

::AXError read_parent(AtspiAccessible* accessible, Owned<AtspiAccessible>* out) {
  Reference self = reference_of(accessible);
  Message reply;
  DBusMessageIter value;
  if (::AXError status = get_property(self, kAccessibleInterface, "Parent", &reply, &value);
      status != kAXErrorSuccess)
    return status;
  std::optional<Reference> parent = read_reference(&value);
  if (!parent) return kAXErrorFailure;
  // An application's parent is the desktop; any other parent outside the element's own
  // application is none pelorix follows.
  *out = Owned<AtspiAccessible>(parent->bus_name == self.bus_name ? make_accessible(*parent)
                                                                  : nullptr);
  return kAXErrorSuccess;
}

std::string toolkit(AtspiAccessible* accessible) {
  ErrorSlot name_error;
  Text name(atspi_accessible_get_toolkit_name(accessible, name_error.out()));
  if (name_error) return "";
  ErrorSlot version_error;
  Text version(atspi_accessible_get_toolkit_version(accessible, version_error.out()));
  if (version_error) return name.str();
  return name.str() + " " + version.str();
}

bool is_application_object(AtspiAccessible* accessible) {
  const AtspiObject& object = accessible->parent;
  return object.path != nullptr && object.path == kApplicationPath;
}

::AXError ax_role(AtspiAccessible* accessible, std::string* out) {
  // GTK 3 keeps answering for the accessible of a destroyed widget, role included, and marks
  // it defunct: the states are what tell whether an element still exists.
  AtspiRole role = ATSPI_ROLE_INVALID;
  States states;
  if (::AXError status = read_role_and_states(accessible, &role, &states);
      status != kAXErrorSuccess)
    return status;
  if (std::string_view mapped = mapped_role(role, states.has(ATSPI_STATE_MULTI_LINE));
      !mapped.empty()) {
    *out = mapped;
    return kAXErrorSuccess;
  }
  // Qt's top-level widgets are fillers, for example; whatever sits directly below the
  // application is one of its windows.
  if (parent_is_application(accessible)) {
    *out = "AXWindow";
    return kAXErrorSuccess;
  }
  *out = role_in(kGroupRoles, role) ? "AXGroup" : "AXUnknown";
  return kAXErrorSuccess;
}

}  // namespace pelorix::platform::atspi
