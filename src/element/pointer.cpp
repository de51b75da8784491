// Pointer events posted at the place an element occupies on the screen.
#include "element/pointer.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>

#include "accessibility/primitives.h"
#include "accessibility/seen_elements.h"
#include "element/keyboard.h"
#include "platform/clock.h"

namespace pelorix::pointer {
namespace {

using namespace std::chrono_literals;

constexpr auto kEventInterval = 10ms;
// A drag's moves come slower, so toolkits see the motion pass their drag threshold.
constexpr auto kDragInterval = 20ms;

AXError failure(const std::string& text) {
  return AXError(AXErrorKind::ActionFailed, text);
}

// Appending, not `"literal" + std::string`, which GCC 12 at -O3 takes for an overlapping copy.
std::string joined(std::initializer_list<std::string_view> pieces) {
  std::string out;
  for (std::string_view piece : pieces) out.append(piece);
  return out;
}

std::string number(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%g", value);
  return buffer;
}

bool usable(double value) {
  return std::isfinite(value) && std::fabs(value) <= kMaxCoordinate;
}

// The nearest window at or above the element is raised; its outcome is not reported.
void raise_window(AXUIElementRef element) {
  ElementHandle ancestor;
  AXUIElementRef current = element;
  SeenElements seen;
  while (seen.first_visit(current)) {
    auto role = accessibility::get_string_attribute_value(current, "AXRole");
    if (role && *role == "AXWindow") {
      (void)accessibility::perform_action(current, "AXRaise");
      return;
    }
    auto parent = accessibility::get_attribute(current, "AXParent");
    if (!parent || !accessibility::is_element(parent->get())) return;
    ancestor = ElementHandle::adopt(static_cast<AXUIElementRef>(parent->release()));
    current = ancestor.get();
  }
}

Result<Point> locate(const Target& target, std::optional<ActionMode> mode) {
  if (target.element == nullptr) {
    if (!target.at || !usable(target.at->x) || !usable(target.at->y))
      return failure("The screen point is not a usable position");
    return *target.at;
  }
  if (mode == ActionMode::Focus) raise_window(target.element);
  // Scrolling into view is offered by some elements only; without it the element's own place
  // decides.
  (void)accessibility::perform_action(target.element, "AXScrollToVisible");
  return point_in(AXElement::bounds(target.element), target.at);
}

class Poster {
 public:
  Poster()
      : source_(CFRef<CGEventSourceRef>::adopt(
            CGEventSourceCreate(kCGEventSourceStateHIDSystemState))) {}
  bool ready() const { return static_cast<bool>(source_); }

  bool mouse(CGEventType type, Point at, CGMouseButton button, std::int64_t click_state = 1,
             std::chrono::milliseconds pause = kEventInterval) {
    auto event = CFRef<CGEventRef>::adopt(
        CGEventCreateMouseEvent(source_.get(), type, CGPoint{at.x, at.y}, button));
    if (!event) return false;
    if (click_state != 1)
      CGEventSetIntegerValueField(event.get(), kCGMouseEventClickState, click_state);
    return post(event.get(), pause);
  }

  bool wheel(std::int32_t vertical, std::int32_t horizontal) {
    auto event = CFRef<CGEventRef>::adopt(CGEventCreateScrollWheelEvent(
        source_.get(), kCGScrollEventUnitLine, 2, vertical, horizontal));
    if (!event) return false;
    return post(event.get(), kEventInterval);
  }

 private:
  bool post(CGEventRef event, std::chrono::milliseconds pause) {
    // Keys held down with the keyboard functions hold for the pointer too (a shift-click).
    CGEventSetFlags(event, keyboard::held_flags());
    CGEventPost(kCGHIDEventTap, event);
    platform::sleep_for(pause);
    return true;
  }

  CFRef<CGEventSourceRef> source_;
};

struct ButtonEvents {
  CGEventType down;
  CGEventType up;
  CGEventType dragged;
  CGMouseButton button;
};

ButtonEvents events_of(Button button) {
  switch (button) {
    case Button::Right:
      return {kCGEventRightMouseDown, kCGEventRightMouseUp, kCGEventRightMouseDragged,
              kCGMouseButtonRight};
    case Button::Middle:
      return {kCGEventOtherMouseDown, kCGEventOtherMouseUp, kCGEventOtherMouseDragged,
              kCGMouseButtonCenter};
    case Button::Left:
      break;
  }
  return {kCGEventLeftMouseDown, kCGEventLeftMouseUp, kCGEventLeftMouseDragged, kCGMouseButtonLeft};
}

Result<void> refuse_background(std::optional<ActionMode> mode) {
  if (mode == ActionMode::Background)
    return AXError(AXErrorKind::ActionNotSupportedInBackground,
                   "Pointer input acts on the screen; use FOCUS mode or no mode");
  return {};
}

const AXError kNoEvent =
    failure("Failed to create a pointer event (a point off the screen cannot be reached)");

}  // namespace

Result<Point> point_in(const std::optional<Rect>& bounds, const std::optional<Point>& offset) {
  if (!bounds) return failure("The element has no position and size on the screen");
  const Rect& r = *bounds;
  if (!usable(r.x) || !usable(r.y) || !usable(r.width) || !usable(r.height))
    return failure("The element's bounds are not a usable screen area");
  if (r.width <= 0 || r.height <= 0)
    return failure(joined({"The element has no area on the screen (", number(r.width), " x ",
                           number(r.height), ")"}));
  if (!offset) return Point{r.x + r.width / 2, r.y + r.height / 2};
  if (!std::isfinite(offset->x) || !std::isfinite(offset->y) || offset->x < 0 || offset->y < 0 ||
      offset->x >= r.width || offset->y >= r.height)
    return failure(
        joined({"The offset (", number(offset->x), ", ", number(offset->y),
                ") lies outside the element (", number(r.width), " x ", number(r.height), ")"}));
  return Point{r.x + offset->x, r.y + offset->y};
}

Result<void> click(const Target& target, Button button, int count, std::optional<ActionMode> mode) {
  if (auto refused = refuse_background(mode); !refused) return refused;
  if (count < 1 || count > 3) return failure("A click is single, double or triple");
  auto at = locate(target, mode);
  if (!at) return std::move(at).error();
  Poster poster;
  if (!poster.ready()) return failure("Failed to create event source");
  ButtonEvents events = events_of(button);
  if (!poster.mouse(kCGEventMouseMoved, *at, kCGMouseButtonLeft)) return kNoEvent;
  for (int i = 1; i <= count; ++i) {
    if (!poster.mouse(events.down, *at, events.button, i)) return kNoEvent;
    if (!poster.mouse(events.up, *at, events.button, i)) return kNoEvent;
  }
  return {};
}

Result<void> move(const Target& target, std::optional<ActionMode> mode) {
  if (auto refused = refuse_background(mode); !refused) return refused;
  auto at = locate(target, mode);
  if (!at) return std::move(at).error();
  Poster poster;
  if (!poster.ready()) return failure("Failed to create event source");
  if (!poster.mouse(kCGEventMouseMoved, *at, kCGMouseButtonLeft)) return kNoEvent;
  return {};
}

Result<void> drag(const Target& from, const Target& to, std::optional<ActionMode> mode) {
  if (auto refused = refuse_background(mode); !refused) return refused;
  auto start = locate(from, mode);
  if (!start) return std::move(start).error();
  auto end = locate(to, mode);
  if (!end) return std::move(end).error();
  Poster poster;
  if (!poster.ready()) return failure("Failed to create event source");
  if (!poster.mouse(kCGEventMouseMoved, *start, kCGMouseButtonLeft)) return kNoEvent;
  if (!poster.mouse(kCGEventLeftMouseDown, *start, kCGMouseButtonLeft, 1, kDragInterval))
    return kNoEvent;
  bool moved = true;
  Point reached = *start;
  for (int step = 1; moved && step <= kDragSteps; ++step) {
    double share = static_cast<double>(step) / kDragSteps;
    Point at{start->x + (end->x - start->x) * share, start->y + (end->y - start->y) * share};
    moved = poster.mouse(kCGEventLeftMouseDragged, at, kCGMouseButtonLeft, 1, kDragInterval);
    if (moved) reached = at;
  }
  // Released where the pointer got to, even when a move could not be made.
  bool released = poster.mouse(kCGEventLeftMouseUp, reached, kCGMouseButtonLeft);
  if (!moved || !released) return kNoEvent;
  return {};
}

Result<void> scroll(const Target& target, std::int32_t down, std::int32_t right,
                    std::optional<ActionMode> mode) {
  if (auto refused = refuse_background(mode); !refused) return refused;
  if (down < -kMaxScrollSteps || down > kMaxScrollSteps || right < -kMaxScrollSteps ||
      right > kMaxScrollSteps)
    return failure(
        joined({"A scroll turns at most ", std::to_string(kMaxScrollSteps), " steps each way"}));
  auto at = locate(target, mode);
  if (!at) return std::move(at).error();
  Poster poster;
  if (!poster.ready()) return failure("Failed to create event source");
  if (!poster.mouse(kCGEventMouseMoved, *at, kCGMouseButtonLeft)) return kNoEvent;
  if (down == 0 && right == 0) return {};
  // The system's wheels count up and left as positive.
  if (!poster.wheel(-down, -right)) return kNoEvent;
  return {};
}

}  // namespace pelorix::pointer
