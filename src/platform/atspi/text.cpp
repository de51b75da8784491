#include "platform/atspi/text.h"

#include <algorithm>
#include <iterator>

#include "platform/atspi/holders.h"
#include "platform/atspi/mapping.h"
#include "platform/atspi/reads.h"
#include "platform/atspi/values.h"

namespace pelorix::platform::atspi {

namespace {

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

}  // namespace

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

::AXError read_label(AtspiAccessible* accessible, std::string* out) {
  ErrorSlot error;
  GArray* relations = atspi_accessible_get_relation_set(accessible, error.out());
  if (error) return status_of(error.error);
  std::string label;
  if (relations != nullptr) {
    for (guint i = 0; i < relations->len; ++i) {
      AtspiRelation* relation = g_array_index(relations, AtspiRelation*, i);
      if (atspi_relation_get_relation_type(relation) == ATSPI_RELATION_LABELLED_BY) {
        gint targets = atspi_relation_get_n_targets(relation);
        for (gint t = 0; t < targets; ++t) {
          Owned<AtspiAccessible> target(atspi_relation_get_target(relation, t));
          std::string name;
          if (target && read_name(target.get(), &name) == kAXErrorSuccess && !name.empty())
            label += (label.empty() ? "" : " ") + name;
        }
      }
      g_object_unref(relation);
    }
    g_array_free(relations, TRUE);
  }
  if (label.empty()) {
    if (::AXError status = read_name(accessible, &label); status != kAXErrorSuccess) return status;
  }
  if (label.empty()) return kAXErrorNoValue;
  *out = std::move(label);
  return kAXErrorSuccess;
}

}  // namespace pelorix::platform::atspi
