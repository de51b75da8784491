// Real pointer input: moves, clicks, drags and the scroll wheel at an element's place on the
// screen, for what accessibility actions cannot do (a label without a press action, a hover).
#pragma once

#include <cstdint>
#include <optional>

#include "accessibility/cf_ref.h"
#include "element/action_mode.h"
#include "element/ax_element.h"
#include "error/result.h"

namespace pelorix::pointer {

struct Point {
  double x;
  double y;
};

enum class Button : std::uint8_t { Left, Right, Middle };

// Where the pointer goes: into an element (at its center, or at an offset from its top-left
// corner that must lie inside it), or to a point of the screen.
struct Target {
  AXUIElementRef element = nullptr;  // borrowed; null for a screen point
  std::optional<Point> at;           // the offset inside the element, or the screen point
};

// Screen coordinates beyond this are no screen's; applications' geometry is refused there.
inline constexpr double kMaxCoordinate = 1e6;
// The most wheel steps one scroll turns.
inline constexpr std::int32_t kMaxScrollSteps = 1000;
// Moves of a drag between its two ends.
inline constexpr int kDragSteps = 8;

// Each first brings an element target into view ("AXScrollToVisible" where offered) and fails
// when it then has no area on the screen; FOCUS raises its window first; an explicit BACKGROUND
// is refused, as the pointer acts on whatever is on the screen.
Result<void> click(const Target& target, Button button, int count, std::optional<ActionMode> mode);
Result<void> move(const Target& target, std::optional<ActionMode> mode);
// Presses the left button at `from`, moves to `to` in steps and releases it there; the button
// is released even when an event half way cannot be made.
Result<void> drag(const Target& from, const Target& to, std::optional<ActionMode> mode);
// Moves to the target and turns the wheel: `down` steps down (negative: up) and `right` steps
// right (negative: left).
Result<void> scroll(const Target& target, std::int32_t down, std::int32_t right,
                    std::optional<ActionMode> mode);

// The screen point of a target, its element already in view: pure, for the checks above.
Result<Point> point_in(const std::optional<Rect>& bounds, const std::optional<Point>& offset);

}  // namespace pelorix::pointer
