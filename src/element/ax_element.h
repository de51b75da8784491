// The record behind an AXElement object, and the reads other parts reuse.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "accessibility/cf_ref.h"
#include "element/action_mode.h"
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

  // Focus mode's preparation: focuses the element, then raises the nearest window at or above
  // it (whose outcome is not reported). Fails only when the focus cannot be written.
  static Result<void> bring_to_focus_internal(AXUIElementRef element);

  // Presses the element ("AXPress"); in focus mode after bringing it to focus.
  static Result<void> click(AXUIElementRef element, ActionMode mode);
  // Two presses at least 50 ms apart; the first failure ends it.
  static Result<void> double_click(AXUIElementRef element, ActionMode mode);
  // Opens the element's context menu ("AXShowMenu").
  static Result<void> right_click(AXUIElementRef element, ActionMode mode);
  // Writes "AXValue" with the text, in the background.
  static Result<void> set_value(AXUIElementRef element, std::string_view text);
  // Types the text as key events posted to the element's process, one key press per character.
  // Refused when background mode was asked for explicitly.
  static Result<void> type_text(AXUIElementRef element, std::string_view text,
                                bool background_requested);

  // A PNG image of the screen rectangle the element covers.
  static Result<std::string> screenshot(AXUIElementRef element);
};

}  // namespace pelorix
