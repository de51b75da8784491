// The record behind an AXElement object, and the reads other parts reuse.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "accessibility/cf_ref.h"
#include "error/result.h"

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
  // A PNG image of the screen rectangle the element covers.
  static Result<std::string> screenshot(AXUIElementRef element);
};

// The rectangle as the capture tool takes it: "x,y,width,height", each truncated toward zero
// to a signed 32-bit integer, out-of-range values held at the nearest limit and NaN read as 0.
std::string region_text(const Rect& rect);

}  // namespace pelorix
