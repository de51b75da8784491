#include "platform/atspi/attributes.h"

#include <optional>
#include <string_view>
#include <vector>

#include "platform/atspi/children.h"
#include "platform/atspi/element.h"
#include "platform/atspi/holders.h"
#include "platform/atspi/mapping.h"
#include "platform/atspi/reads.h"
#include "platform/atspi/text.h"
#include "platform/atspi/values.h"
#include "platform/atspi/windows.h"

namespace pelorix::platform::atspi {
namespace {

struct Target {
  AtspiAccessible* accessible;
  pid_t pid;
};

::AXError text_result(::AXError read, const std::string& text, CFTypeRef* value) {
  if (read == kAXErrorSuccess) *value = string_value(text);
  return read;
}

// A string that libatspi hands out (+1) with its error.
template <gchar* (*kGet)(AtspiAccessible*, GError**)>
::AXError read_text(const Target& target, std::string_view, CFTypeRef* value) {
  ErrorSlot error;
  Text text(kGet(target.accessible, error.out()));
  return text_result(error ? status_of(error.error) : kAXErrorSuccess, text.str(), value);
}

template <::AXError (*kRead)(AtspiAccessible*, std::string*)>
::AXError read_string(const Target& target, std::string_view, CFTypeRef* value) {
  std::string text;
  return text_result(kRead(target.accessible, &text), text, value);
}

::AXError role(const Target& target, std::string_view, CFTypeRef* value) {
  std::string role;
  return text_result(ax_role(target.accessible, &role), role, value);
}

::AXError value(const Target& target, std::string_view, CFTypeRef* value) {
  return read_value(target.accessible, value);
}

::AXError identifier(const Target& target, std::string_view, CFTypeRef* value) {
  return read_identifier(target.accessible, value);
}

::AXError label(const Target& target, std::string_view, CFTypeRef* value) {
  std::string label;
  return text_result(read_label(target.accessible, &label), label, value);
}

::AXError geometry(const Target& target, std::string_view name, CFTypeRef* value) {
  CGRect rect{};
  ::AXError read = extents(target.accessible, target.pid, &rect);
  if (read != kAXErrorSuccess) return read;
  if (name == "AXPosition") {
    *value = ax_value(kAXValueCGPointType, &rect.origin);
  } else if (name == "AXSize") {
    *value = ax_value(kAXValueCGSizeType, &rect.size);
  } else {
    *value = ax_value(kAXValueCGRectType, &rect);
  }
  return kAXErrorSuccess;
}

::AXError children(const Target& target, std::string_view, CFTypeRef* value) {
  std::vector<Owned<AtspiAccessible>> children;
  if (::AXError read = read_children(target.accessible, &children); read != kAXErrorSuccess)
    return read;
  std::vector<CFTypeRef> items;
  items.reserve(children.size());
  for (auto& child : children) items.push_back(make_element(child.release(), target.pid));
  *value = array_value(std::move(items));
  return kAXErrorSuccess;
}

::AXError parent(const Target& target, std::string_view, CFTypeRef* value) {
  AtspiRole role = ATSPI_ROLE_INVALID;
  if (::AXError read = read_role(target.accessible, &role); read != kAXErrorSuccess) return read;
  if (role == ATSPI_ROLE_APPLICATION) return kAXErrorNoValue;
  Owned<AtspiAccessible> parent;
  if (::AXError read = read_parent(target.accessible, &parent); read != kAXErrorSuccess)
    return read;
  if (!parent) return kAXErrorNoValue;
  *value = make_element(parent.release(), target.pid);
  return kAXErrorSuccess;
}

::AXError windows(const Target& target, std::string_view name, CFTypeRef* value) {
  AtspiRole role = ATSPI_ROLE_INVALID;
  if (::AXError read = read_role(target.accessible, &role); read != kAXErrorSuccess) return read;
  if (role != ATSPI_ROLE_APPLICATION) return kAXErrorAttributeUnsupported;
  std::vector<Owned<AtspiAccessible>> windows;
  std::optional<std::size_t> active;
  if (::AXError read = shown_windows(target.accessible, &windows, &active); read != kAXErrorSuccess)
    return read;
  if (name == "AXWindows") {
    std::vector<CFTypeRef> items;
    for (auto& window : windows) items.push_back(make_element(window.release(), target.pid));
    *value = array_value(std::move(items));
    return kAXErrorSuccess;
  }
  // The main window is the active one, else the first on screen; never a menu or popup,
  // which takes the activation while it is open (Chromium's context menu).
  std::optional<std::size_t> pick = active;
  if (name == "AXMainWindow") {
    if (pick && shows_popup(windows[*pick].get(), target.pid)) pick.reset();
    for (std::size_t i = 0; !pick && i < windows.size(); ++i)
      if (!shows_popup(windows[i].get(), target.pid)) pick = i;
    // Only popups on screen: the first of them is all the application shows.
    if (!pick && !windows.empty()) pick = 0;
  }
  if (!pick) return kAXErrorNoValue;
  *value = make_element(windows[*pick].release(), target.pid);
  return kAXErrorSuccess;
}

::AXError bound(const Target& target, std::string_view name, CFTypeRef* value) {
  Owned<AtspiValue> number = iface(target.accessible, atspi_accessible_get_value_iface);
  if (!number) return unsupported_unless_gone(target.accessible, kAXErrorAttributeUnsupported);
  ErrorSlot error;
  double bound = name == "AXMinValue" ? atspi_value_get_minimum_value(number.get(), error.out())
                                      : atspi_value_get_maximum_value(number.get(), error.out());
  if (error) return status_of(error.error);
  *value = number_value(bound);
  return kAXErrorSuccess;
}

::AXError showing(const Target& target, std::string_view, CFTypeRef* value) {
  States states;
  if (::AXError read = read_states(target.accessible, &states); read != kAXErrorSuccess)
    return read;
  bool shown = states.has(kShowingState);
  if (!shown && states.has(ATSPI_STATE_VISIBLE)) {
    std::string name = toolkit(target.accessible);
    bool without_showing = false;
    for (std::string_view prefix : kToolkitsWithoutShowing)
      without_showing = without_showing || name.rfind(prefix, 0) == 0;
    CGRect rect{};
    shown = without_showing && extents(target.accessible, target.pid, &rect) == kAXErrorSuccess &&
            rect.size.width > 0 && rect.size.height > 0;
  }
  *value = bool_value(shown);
  return kAXErrorSuccess;
}

// The check mark macOS shows beside a checked menu item.
::AXError menu_item_mark(const Target& target, std::string_view, CFTypeRef* value) {
  AtspiRole role = ATSPI_ROLE_INVALID;
  if (::AXError read = read_role(target.accessible, &role); read != kAXErrorSuccess) return read;
  if (!role_in(kMarkedMenuItemRoles, role)) return kAXErrorAttributeUnsupported;
  States states;
  if (::AXError read = read_states(target.accessible, &states); read != kAXErrorSuccess)
    return read;
  for (AtspiStateType checked : kCheckedStates) {
    if (!states.has(checked)) continue;
    *value = string_value(std::string(kMenuItemMark));
    return kAXErrorSuccess;
  }
  return kAXErrorNoValue;
}

struct Reader {
  std::string_view name;
  ::AXError (*read)(const Target& target, std::string_view name, CFTypeRef* value);
};

constexpr Reader kReaders[] = {
    {"AXRole", role},
    {"AXTitle", read_string<read_name>},
    {"AXDescription", read_string<read_description>},
    {"AXRoleDescription", read_text<atspi_accessible_get_localized_role_name>},
    {"AXValue", value},
    {"AXIdentifier", identifier},
    {"AXLabel", label},
    {"AXPosition", geometry},
    {"AXSize", geometry},
    {"AXFrame", geometry},
    {"AXChildren", children},
    {"AXParent", parent},
    {"AXWindows", windows},
    {"AXMainWindow", windows},
    {"AXFocusedWindow", windows},
    {"AXMinValue", bound},
    {"AXMaxValue", bound},
    {"AXMenuItemMarkChar", menu_item_mark},
    {"AXShowing", showing},
};

}  // namespace

::AXError read_identifier(AtspiAccessible* accessible, CFTypeRef* value) {
  ErrorSlot error;
  Text identifier(atspi_accessible_get_accessible_id(accessible, error.out()));
  if (error) {
    // Toolkits without identifiers answer that the property is unknown.
    ::AXError read = status_of(error.error);
    return read == kAXErrorFailure ? kAXErrorAttributeUnsupported : read;
  }
  if (identifier.str().empty()) return kAXErrorNoValue;
  return text_result(kAXErrorSuccess, identifier.str(), value);
}

::AXError read_attribute(AtspiAccessible* accessible, pid_t pid, const std::string& name,
                         CFTypeRef* value) {
  const Target target{accessible, pid};
  for (const Reader& reader : kReaders)
    if (reader.name == name) return reader.read(target, name, value);
  for (const StateAttribute& entry : kStateAttributes) {
    if (entry.attribute != name) continue;
    States states;
    ::AXError read = read_states(accessible, &states);
    if (read == kAXErrorSuccess)
      *value = bool_value(states.has(entry.state) || (entry.other_state != ATSPI_STATE_INVALID &&
                                                      states.has(entry.other_state)));
    return read;
  }
  // Anything else is unknown here; a vanished element still says so first.
  return unsupported_unless_gone(accessible, kAXErrorAttributeUnsupported);
}

}  // namespace pelorix::platform::atspi
