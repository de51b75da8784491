#include "platform/atspi/writes.h"

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/atspi/actions.h"
#include "platform/atspi/holders.h"
#include "platform/atspi/reads.h"
#include "platform/atspi/text.h"
#include "platform/core_foundation.h"
#include "platform/failure_detail.h"

namespace pelorix::platform::atspi {

namespace {

// Writes the whole text of an element, and reports a write the toolkit did not take: GTK 3
// offers EditableText on text views that are not editable and answers the write with success;
// Qt's read-only line edits say they are editable and ignore it. So the state is checked first
// and the text read back after.
::AXError write_text(AtspiAccessible* accessible, AtspiEditableText* editable,
                     const std::string& text) {
  States states;
  if (::AXError read = read_states(accessible, &states); read != kAXErrorSuccess) return read;
  if (!states.has(ATSPI_STATE_EDITABLE)) return kAXErrorCannotComplete;
  bool found = false;
  std::string before;
  if (::AXError read = all_text(accessible, &found, &before); read != kAXErrorSuccess) return read;
  ErrorSlot error;
  gboolean done = atspi_editable_text_set_text_contents(editable, text.c_str(), error.out());
  if (error) return status_of(error.error);
  if (!done) return kAXErrorCannotComplete;
  if (!found || before == text) return kAXErrorSuccess;
  std::string after;
  if (::AXError read = all_text(accessible, &found, &after); read != kAXErrorSuccess) return read;
  // A toolkit may reformat what it takes (a spin button its number); a text that did not change
  // at all was not taken.
  return after == before ? kAXErrorCannotComplete : kAXErrorSuccess;
}

}  // namespace

::AXError write_value(AtspiAccessible* accessible, CFTypeRef value) {
  std::string text;
  std::optional<double> number;
  if (const auto* string = object_cast<StringObject>(value)) {
    if (!string->well_formed()) return kAXErrorIllegalArgument;
    text = string->utf8();
    // Written as a C string, a NUL would end the text early.
    if (text.find('\0') != std::string::npos) {
      note_failure_detail(kAXErrorIllegalArgument, "AXValue",
                          "the value contains a NUL character, which AT-SPI cannot carry; "
                          "nothing was written");
      return kAXErrorIllegalArgument;
    }
  } else if (const auto* given = object_cast<NumberObject>(value)) {
    number = given->as_double();
  } else {
    return kAXErrorIllegalArgument;
  }
  const bool written_as_number = number.has_value();
  ErrorSlot error;
  if (!number) {
    if (Owned<AtspiEditableText> editable =
            iface(accessible, atspi_accessible_get_editable_text_iface))
      return write_text(accessible, editable.get(), text);
    // A value widget takes a number written as text.
    char* end = nullptr;
    double parsed = std::strtod(text.c_str(), &end);
    if (!text.empty() && end != nullptr && *end == '\0') number = parsed;
  }
  Owned<AtspiValue> target = iface(accessible, atspi_accessible_get_value_iface);
  if (!target || !number) {
    ::AXError status = target ? kAXErrorIllegalArgument : kAXErrorAttributeUnsupported;
    std::string role;
    if (ax_role(accessible, &role) != kAXErrorSuccess || role.empty()) role = "element";
    note_failure_detail(status, "AXValue",
                        target ? "the " + role + " takes a number only"
                        : written_as_number
                            ? "the " + role + " has no numeric value to set"
                            : "the " + role + " has no editable text and no value to set");
    return unsupported_unless_gone(accessible, status);
  }
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
