#include "app/ax_app.h"
#include "app/text.h"
#include "platform/capture.h"
#include "platform/process.h"

namespace pelorix {
namespace {

constexpr char kScreenshotFailed[] = "Screenshot failed";

// Prints the identifier of the first window of the process.
std::string window_id_script(pid_t pid) {
  return "tell application \"System Events\" to id of window 1 of (processes whose unix id is " +
         std::to_string(pid) + ")";
}

AXError api_error(std::string text) {
  return {AXErrorKind::MacOSApiError, std::move(text)};
}

}  // namespace

Result<std::string> AXApp::screenshot() const {
  auto lookup = platform::run_program({"osascript", "-e", window_id_script(pid)});
  if (auto* failed = std::get_if<platform::ProgramFailedToStart>(&lookup))
    return api_error(failed->text());
  // The lookup's exit status says nothing useful: without a window it prints nothing, and the
  // capture of an empty identifier fails by itself.
  std::string output =
      text::decode_lossy(std::get<platform::ProgramOutput>(lookup).standard_output);
  std::string window_id(text::trim_white_space(output));
  // An argument ends at a NUL, so the tool would be pointed at some other window.
  if (window_id.find('\0') != std::string::npos) return api_error(kScreenshotFailed);

  auto captured = platform::capture_to_file({"screencapture", "-l", window_id, "-o", "-x"},
                                            "pelorix_screenshot_" + std::to_string(pid), ".png");
  if (auto* failure = std::get_if<platform::CaptureFailure>(&captured)) {
    if (failure->stage == platform::CaptureFailure::Stage::Unsuccessful)
      return api_error(kScreenshotFailed);
    return api_error(failure->text());
  }
  return std::move(std::get<std::string>(captured));
}

}  // namespace pelorix
