#include "platform/atspi/text.h"

#include <algorithm>
#include <iterator>
#include <optional>
#include <vector>

#include "platform/atspi/bus.h"
#include "platform/atspi/children.h"
#include "platform/atspi/holders.h"
#include "platform/atspi/mapping.h"
#include "platform/atspi/reads.h"
#include "platform/atspi/values.h"

namespace pelorix::platform::atspi {

namespace {

// The most label elements read for one element, over all its labelled-by relations together:
// a real label is one or two elements, while an application may name 100,000, each of which
// costs a request.
constexpr std::size_t kMaxLabelTargets = 16;

}  // namespace

::AXError all_text(AtspiAccessible* accessible, bool* found, std::string* out) {
  Owned<AtspiText> text = iface(accessible, atspi_accessible_get_text_iface);
  *found = static_cast<bool>(text);
  if (!text) return kAXErrorSuccess;
  ErrorSlot error;
  // GTK 4 answers an end offset of -1 ("to the end") with nothing; ask for the real length.
  gint count = atspi_text_get_character_count(text.get(), error.out());
  if (error) return status_of(error.error);
  Text contents(atspi_text_get_text(text.get(), 0, count, error.out()));
  if (error) return status_of(error.error);
  *out = contents.str();
  return kAXErrorSuccess;
}

::AXError read_value(AtspiAccessible* accessible, CFTypeRef* value) {
  AtspiRole role = ATSPI_ROLE_INVALID;
  if (::AXError status = read_role(accessible, &role); status != kAXErrorSuccess) return status;
  if (role_in(kEditableTextRoles, role) || role_in(kLabelRoles, role) ||
      role_in(kOtherTextRoles, role)) {
    bool found = false;
    std::string text;
    if (::AXError status = all_text(accessible, &found, &text); status != kAXErrorSuccess)
      return status;
    if (found) {
      *value = string_value(text);
      return kAXErrorSuccess;
    }
  }
  if (role_in(kCheckableRoles, role)) {
    States states;
    if (::AXError status = read_states(accessible, &states); status != kAXErrorSuccess)
      return status;
    bool on = std::any_of(std::begin(kCheckedStates), std::end(kCheckedStates),
                          [&](AtspiStateType state) { return states.has(state); });
    *value = number_value(on ? 1 : 0);
    return kAXErrorSuccess;
  }
  if (Owned<AtspiValue> number = iface(accessible, atspi_accessible_get_value_iface)) {
    ErrorSlot error;
    double current = atspi_value_get_current_value(number.get(), error.out());
    if (error) return status_of(error.error);
    *value = number_value(current);
    return kAXErrorSuccess;
  }
  if (role_in(kLabelRoles, role)) {
    std::string name;
    if (::AXError status = read_name(accessible, &name); status != kAXErrorSuccess) return status;
    *value = string_value(name);
    return kAXErrorSuccess;
  }
  return kAXErrorAttributeUnsupported;
}

namespace {

// The elements that label this one (the targets of its labelled-by relations), from the
// relation set "a(ua(so))", the first kMaxLabelTargets of them; targets in another application
// are left out. A set of another shape is kAXErrorFailure.
::AXError read_labelled_by(AtspiAccessible* accessible, std::vector<Owned<AtspiAccessible>>* out) {
  Reference self = reference_of(accessible);
  Message reply;
  if (::AXError status = call(self, kAccessibleInterface, "GetRelationSet", nullptr, &reply);
      status != kAXErrorSuccess)
    return status;
  DBusMessageIter args;
  DBusMessageIter relations;
  if (dbus_message_has_signature(reply.get(), "a(ua(so))") == 0 ||
      dbus_message_iter_init(reply.get(), &args) == 0)
    return kAXErrorFailure;
  dbus_message_iter_recurse(&args, &relations);
  for (; dbus_message_iter_get_arg_type(&relations) == DBUS_TYPE_STRUCT &&
         out->size() < kMaxLabelTargets;
       dbus_message_iter_next(&relations)) {
    DBusMessageIter relation;
    DBusMessageIter targets;
    dbus_uint32_t type = 0;
    dbus_message_iter_recurse(&relations, &relation);
    dbus_message_iter_get_basic(&relation, &type);
    if (type != ATSPI_RELATION_LABELLED_BY) continue;
    dbus_message_iter_next(&relation);
    dbus_message_iter_recurse(&relation, &targets);
    for (; dbus_message_iter_get_arg_type(&targets) == DBUS_TYPE_STRUCT &&
           out->size() < kMaxLabelTargets;
         dbus_message_iter_next(&targets)) {
      std::optional<Reference> target = read_reference(&targets);
      if (!target || target->bus_name != self.bus_name || target->path == kNullPath) continue;
      // None when the accessibility bus went away since the reply came.
      Owned<AtspiAccessible> made(make_accessible(*target));
      if (!made) return kAXErrorCannotComplete;
      out->push_back(std::move(made));
    }
  }
  return kAXErrorSuccess;
}

}  // namespace

::AXError read_label(AtspiAccessible* accessible, std::string* out) {
  std::vector<Owned<AtspiAccessible>> labels;
  if (::AXError status = read_labelled_by(accessible, &labels); status != kAXErrorSuccess)
    return status;
  std::string label;
  for (const Owned<AtspiAccessible>& target : labels) {
    std::string name;
    if (read_name(target.get(), &name) == kAXErrorSuccess && !name.empty())
      label += (label.empty() ? "" : " ") + name;
  }
  if (label.empty()) {
    if (::AXError status = read_name(accessible, &label); status != kAXErrorSuccess) return status;
  }
  if (label.empty()) return kAXErrorNoValue;
  *out = std::move(label);
  return kAXErrorSuccess;
}

}  // namespace pelorix::platform::atspi
