#include "element/tree_reads.h"

#include <optional>
#include <utility>

#include "accessibility/primitives.h"
#include "element/ax_element.h"

namespace pelorix {
namespace {

#if defined(__APPLE__)
bool settable(AXUIElementRef element, std::string_view attribute) {
  CFRef<CFStringRef> name = accessibility::make_cf_string(attribute);
  Boolean can = false;
  return name && AXUIElementIsAttributeSettable(element, name.get(), &can) == kAXErrorSuccess &&
         can;
}

CFRef<CFTypeRef> boolean(bool value) {
  return CFRef<CFTypeRef>::retain(value ? kCFBooleanTrue : kCFBooleanFalse);
}

// The four states as what macOS's own attributes say; nothing for other names (and for an
// element that no longer answers).
std::optional<CFRef<CFTypeRef>> derived_state(AXUIElementRef element, std::string_view name) {
  if (name != "AXEditable" && name != "AXFocusable" && name != "AXVisible" && name != "AXShowing")
    return std::nullopt;
  if (!accessibility::get_string_attribute_value(element, "AXRole")) return CFRef<CFTypeRef>();
  if (name == "AXEditable") return boolean(settable(element, "AXValue"));
  if (name == "AXFocusable") return boolean(settable(element, "AXFocused"));
  bool visible = !AXElement::get_bool_attribute(element, "AXHidden").value_or(false);
  if (name == "AXVisible" || !visible) return boolean(visible);
  auto bounds = AXElement::bounds(element);
  return boolean(bounds && bounds->width > 0 && bounds->height > 0);
}
#endif

}  // namespace

Result<std::vector<ElementHandle>> element_children(AXUIElementRef element) {
  auto listed = accessibility::get_children(element);
  if (listed) return listed;
  // No children attribute is no children; an element that no longer answers at all is gone.
  if (accessibility::get_string_attribute_value(element, "AXRole"))
    return std::vector<ElementHandle>{};
  return listed;
}

ElementHandle element_parent(AXUIElementRef element) {
  auto value = accessibility::get_attribute(element, "AXParent");
  if (!value || !accessibility::is_element(value->get())) return {};
  return ElementHandle::retain(static_cast<AXUIElementRef>(value->get()));
}

CFRef<CFTypeRef> element_attribute(AXUIElementRef element, std::string_view name) {
#if defined(__APPLE__)
  if (auto derived = derived_state(element, name)) return std::move(*derived);
#endif
  auto value = accessibility::get_attribute(element, name);
  if (!value) return {};
  return std::move(value).value();
}

}  // namespace pelorix
