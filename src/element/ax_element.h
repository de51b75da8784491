// The record behind an AXElement object, and the reads other parts reuse.
#pragma once

#include <optional>
#include <string_view>

#include "accessibility/cf_ref.h"

namespace pelorix {

struct Rect {
  double x;
  double y;
  double width;
  double height;
};

struct AXElement {
  // Null only when the platform reported success without delivering an element.
  ElementHandle handle;

  // True, false, or nothing when the attribute cannot be read or is not a boolean.
  static std::optional<bool> get_bool_attribute(AXUIElementRef element, std::string_view name);
  // The position and size, or nothing unless both can be read as point and size values.
  static std::optional<Rect> bounds(AXUIElementRef element);
};

}  // namespace pelorix
