#include "element/ax_element.h"
#include "platform/host.h"

namespace pelorix {

Result<std::string> AXElement::screenshot(AXUIElementRef element) {
  auto rect = bounds(element);
  if (!rect) return AXError(AXErrorKind::ActionFailed, "Could not get element bounds");
  auto captured = platform::host().capture_region({rect->x, rect->y, rect->width, rect->height});
  if (auto* failure = std::get_if<platform::CaptureFailure>(&captured)) {
    if (failure->stage == platform::CaptureFailure::Stage::Unsuccessful)
      return AXError(AXErrorKind::ActionFailed, "Screenshot failed");
    return AXError(AXErrorKind::MacOSApiError, failure->text());
  }
  return std::move(std::get<std::string>(captured));
}

}  // namespace pelorix
