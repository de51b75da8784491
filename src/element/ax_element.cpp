#include "element/ax_element.h"

#include "accessibility/primitives.h"

namespace pelorix {
namespace {

// Reads a packed geometry value of one type into `out`.
template <class T>
bool read_geometry(AXUIElementRef element, std::string_view name, AXValueType type, T* out) {
  auto value = accessibility::get_attribute(element, name);
  if (!value || !value->get()) return false;
  auto packed = static_cast<AXValueRef>(value->get());
  if (CFGetTypeID(packed) != AXValueGetTypeID() || AXValueGetType(packed) != type) return false;
  return AXValueGetValue(packed, type, out) != 0;
}

}  // namespace

std::optional<bool> AXElement::get_bool_attribute(AXUIElementRef element, std::string_view name) {
  auto value = accessibility::get_attribute(element, name);
  if (!value || !value->get() || CFGetTypeID(value->get()) != CFBooleanGetTypeID())
    return std::nullopt;
  return value->get() == static_cast<CFTypeRef>(kCFBooleanTrue);
}

std::optional<Rect> AXElement::bounds(AXUIElementRef element) {
  CGPoint position{0, 0};
  if (!read_geometry(element, "AXPosition", kAXValueTypeCGPoint, &position)) return std::nullopt;
  CGSize size{0, 0};
  if (!read_geometry(element, "AXSize", kAXValueTypeCGSize, &size)) return std::nullopt;
  return Rect{position.x, position.y, size.width, size.height};
}

}  // namespace pelorix
