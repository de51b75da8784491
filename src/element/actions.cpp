// Pressing, opening menus and writing values through accessibility actions and attributes.
#include "accessibility/primitives.h"
#include "accessibility/seen_elements.h"
#include "element/ax_element.h"
#include "platform/call_bounds.h"
#include "platform/clock.h"

namespace pelorix {
namespace {

using namespace std::chrono_literals;

constexpr auto kDoubleClickInterval = 50ms;
// The walk up to the window ends after this many ancestors, or when platform::kRequestMargin
// has passed, whatever parent chain an application describes; no real one comes near.
constexpr int kMaxFocusAncestors = 100000;

Result<void> act(AXUIElementRef element, ActionMode mode, std::string_view action) {
  if (mode == ActionMode::Focus) {
    if (auto focused = AXElement::bring_to_focus_internal(element); !focused) return focused;
  }
  return accessibility::perform_action(element, action);
}

}  // namespace

Result<void> AXElement::bring_to_focus_internal(AXUIElementRef element) {
  auto truth = CFRef<CFBooleanRef>::retain(kCFBooleanTrue);
  if (auto written = accessibility::set_attribute_value(element, "AXFocused", truth.get());
      !written)
    return written;
  ElementHandle ancestor;  // owns every parent the walk obtains
  AXUIElementRef current = element;
  // A parent chain that comes back to an element already met is a cycle in a misbehaving
  // application's tree: the walk ends there, however deep a chain without one goes.
  SeenElements seen;
  platform::CallBounds bounds(0);
  for (int walked = 0;
       walked <= kMaxFocusAncestors && !platform::call_stopped() && seen.first_visit(current);
       ++walked) {
    auto role = accessibility::get_string_attribute_value(current, "AXRole");
    if (role && *role == "AXWindow") {
      // Raising is a courtesy: the focus is written, the press decides.
      (void)accessibility::perform_action(current, "AXRaise");
      return {};
    }
    auto parent = accessibility::get_attribute(current, "AXParent");
    if (!parent || !accessibility::is_element(parent->get())) return {};
    ancestor = ElementHandle::adopt(static_cast<AXUIElementRef>(parent->release()));
    current = ancestor.get();
  }
  return {};
}

Result<void> AXElement::click(AXUIElementRef element, ActionMode mode) {
  return act(element, mode, "AXPress");
}

Result<void> AXElement::right_click(AXUIElementRef element, ActionMode mode) {
  return act(element, mode, "AXShowMenu");
}

Result<void> AXElement::double_click(AXUIElementRef element, ActionMode mode) {
  if (auto first = act(element, mode, "AXPress"); !first) return first;
  platform::sleep_for(kDoubleClickInterval);
  return act(element, mode, "AXPress");
}

Result<void> AXElement::set_value(AXUIElementRef element, std::string_view text) {
  CFRef<CFStringRef> value = accessibility::make_cf_string(text);
  return accessibility::set_attribute_value(element, "AXValue", value.get());
}

}  // namespace pelorix
