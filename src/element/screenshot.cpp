#include "accessibility/primitives.h"
#include "element/ax_element.h"
#include "platform/clock.h"
#include "platform/host.h"

namespace pelorix {
namespace {

constexpr int kScrollPolls = 20;
constexpr std::chrono::milliseconds kScrollPollInterval{50};

}  // namespace

Result<std::string> AXElement::screenshot(AXUIElementRef element) {
  auto rect = bounds(element);
  if (!rect) return AXError(AXErrorKind::ActionFailed, "Could not get element bounds");
  auto captured = platform::host().capture_region({rect->x, rect->y, rect->width, rect->height});
  if (std::holds_alternative<platform::CaptureFailure>(captured)) {
    // Nothing of it on the screen: an element scrolled out of its view (the end of a long
    // page) is brought into it, where the application offers that, and taken there.
    // Browsers scroll a moment after they are asked: the element is given a second to arrive.
    if (accessibility::perform_action(element, "AXScrollToVisible")) {
      for (int polls = 0; polls < kScrollPolls; ++polls) {
        platform::sleep_for(kScrollPollInterval);
        rect = bounds(element);
        if (!rect) return AXError(AXErrorKind::ActionFailed, "Could not get element bounds");
        captured = platform::host().capture_region({rect->x, rect->y, rect->width, rect->height});
        if (!std::holds_alternative<platform::CaptureFailure>(captured)) break;
      }
    }
  }
  if (auto* failure = std::get_if<platform::CaptureFailure>(&captured)) {
    if (failure->stage == platform::CaptureFailure::Stage::Unsuccessful)
      return AXError(AXErrorKind::ActionFailed, "Screenshot failed");
    return AXError(AXErrorKind::MacOSApiError, failure->text());
  }
  return std::move(std::get<std::string>(captured));
}

}  // namespace pelorix
