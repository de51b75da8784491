#include "platform/atspi/writes.h"

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/atspi/actions.h"
#include "platform/atspi/holders.h"
#include "platform/atspi/reads.h"
#include "platform/core_foundation.h"

namespace pelorix::platform::atspi {

::AXError write_value(AtspiAccessible* accessible, CFTypeRef value) {
  std::string text;
  std::optional<double> number;
  if (const auto* string = object_cast<StringObject>(value)) {
    if (!string->well_formed()) return kAXErrorIllegalArgument;
    text = string->utf8();
  } else if (const auto* given = object_cast<NumberObject>(value)) {
    number = given->as_double();
  } else {
    return kAXErrorIllegalArgument;
  }
  ErrorSlot error;
  if (!number) {
    if (Owned<AtspiEditableText> editable =
            iface(accessible, atspi_accessible_get_editable_text_iface)) {
      gboolean done =
          atspi_editable_text_set_text_contents(editable.get(), text.c_str(), error.out());
      if (error) return status_of(error.error);
      return done ? kAXErrorSuccess : kAXErrorCannotComplete;
    }
    // A value widget takes a number written as text.
    char* end = nullptr;
    double parsed = std::strtod(text.c_str(), &end);
    if (!text.empty() && end != nullptr && *end == '\0') number = parsed;
  }
  Owned<AtspiValue> target = iface(accessible, atspi_accessible_get_value_iface);
  if (!target || !number)
    return unsupported_unless_gone(accessible,
                                   target ? kAXErrorIllegalArgument : kAXErrorAttributeUnsupported);
  gboolean done = atspi_value_set_current_value(target.get(), *number, error.out());
  if (error) return status_of(error.error);
  return done ? kAXErrorSuccess : kAXErrorCannotComplete;
}

::AXError write_focus(AtspiAccessible* accessible, pid_t pid, CFTypeRef value) {
  if (value == nullptr || CFGetTypeID(value) != CFBooleanGetTypeID())
    return kAXErrorIllegalArgument;
  // AT-SPI can give focus but not take it away.
  if (CFBooleanGetValue(static_cast<CFBooleanRef>(value)) == 0)
    return unsupported_unless_gone(accessible, kAXErrorCannotComplete);
  return grab_focus(accessible, pid);
}

}  // namespace pelorix::platform::atspi
