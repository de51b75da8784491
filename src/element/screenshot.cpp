#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "element/ax_element.h"
#include "platform/capture.h"

namespace pelorix {
namespace {

std::int32_t region_coordinate(double value) {
  using Limits = std::numeric_limits<std::int32_t>;
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(Limits::max())) return Limits::max();
  if (value <= static_cast<double>(Limits::min())) return Limits::min();
  // Strictly inside the range, so the truncating conversion is defined.
  return static_cast<std::int32_t>(value);
}

}  // namespace

std::string region_text(const Rect& rect) {
  return std::to_string(region_coordinate(rect.x)) + "," +
         std::to_string(region_coordinate(rect.y)) + "," +
         std::to_string(region_coordinate(rect.width)) + "," +
         std::to_string(region_coordinate(rect.height));
}

Result<std::string> AXElement::screenshot(AXUIElementRef element) {
  auto rect = bounds(element);
  if (!rect) return AXError(AXErrorKind::ActionFailed, "Could not get element bounds");
  auto captured = platform::capture_to_file(
      {"screencapture", "-R", region_text(*rect), "-x"},
      "pelorix_element_screenshot_" + std::to_string(static_cast<unsigned long>(::getpid())),
      ".png");
  if (auto* failure = std::get_if<platform::CaptureFailure>(&captured)) {
    if (failure->stage == platform::CaptureFailure::Stage::Unsuccessful)
      return AXError(AXErrorKind::ActionFailed, "Screenshot failed");
    return AXError(AXErrorKind::MacOSApiError, failure->text());
  }
  return std::move(std::get<std::string>(captured));
}

}  // namespace pelorix
