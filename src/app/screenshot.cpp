#include "app/ax_app.h"
#include "platform/host.h"

namespace pelorix {

Result<std::string> AXApp::screenshot() const {
  auto captured = platform::host().capture_window(pid);
  if (auto* failure = std::get_if<platform::CaptureFailure>(&captured)) {
    if (failure->stage == platform::CaptureFailure::Stage::Unsuccessful)
      return AXError(AXErrorKind::MacOSApiError, "Screenshot failed");
    return AXError(AXErrorKind::MacOSApiError, failure->text());
  }
  return std::move(std::get<std::string>(captured));
}

}  // namespace pelorix
