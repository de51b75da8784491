#include "error/ax_error.h"

#include "platform/failure_detail.h"
#include "platform/platform.h"

namespace pelorix {

std::string_view message_prefix(AXErrorKind kind) {
  switch (kind) {
    case AXErrorKind::AccessibilityNotEnabled:
      return "Accessibility not enabled. Enable in System Preferences > Privacy > Accessibility";
    case AXErrorKind::AppNotFound:
      return "Application not found: ";
    case AXErrorKind::AppNotRunning:
      return "Application not running: ";
    case AXErrorKind::ElementNotFound:
      return "Element not found: ";
    case AXErrorKind::ElementNotFoundAfterHealing:
      return "Element not found after healing attempts: ";
    case AXErrorKind::ActionFailed:
      return "Action failed: ";
    case AXErrorKind::ActionNotSupportedInBackground:
      return "Action not supported in background mode: ";
    case AXErrorKind::Timeout:
      return "Timeout waiting for element: ";
    case AXErrorKind::InvalidQuery:
      return "Invalid query: ";
    case AXErrorKind::MacOSApiError:
      return "macOS API error: ";
  }
  return {};
}

std::string AXError::message() const {
  std::string message(message_prefix(kind_));
  if (kind_ != AXErrorKind::AccessibilityNotEnabled) message += text_;
  return message;
}

AXError ax_error_to_result(AccessibilityStatus status, std::string_view name) {
  // What the backend knows of the cause follows the status's text, which callers match on.
  std::string detail = platform::failure_detail(status, name);
  auto with = [&](AXErrorKind kind, std::string_view lead) {
    std::string text(lead);
    text += name;
    if (!detail.empty()) text += " (" + detail + ")";
    return AXError(kind, std::move(text));
  };
  switch (status) {
    case kAXErrorFailure:
      return with(AXErrorKind::ActionFailed, "");
    case kAXErrorIllegalArgument:
      return with(AXErrorKind::InvalidQuery, "Illegal argument: ");
    case kAXErrorInvalidUIElement:
      return with(AXErrorKind::ElementNotFound, "");
    case kAXErrorCannotComplete:
      return with(AXErrorKind::ActionFailed, "Cannot complete: ");
    case kAXErrorAttributeUnsupported:
      return with(AXErrorKind::InvalidQuery, "Attribute unsupported: ");
    case kAXErrorActionUnsupported:
      return with(AXErrorKind::ActionNotSupportedInBackground, "Action unsupported: ");
    case kAXErrorNotificationAlreadyRegistered:
    case kAXErrorNotificationNotRegistered:
    case kAXErrorAPIDisabled:
      return AXError::accessibility_not_enabled();
    case kAXErrorNoValue:
      return with(AXErrorKind::ElementNotFound, "No value for: ");
    default:
      break;
  }
  std::string lead = "Unknown error " + std::to_string(status) + ": ";
  return with(AXErrorKind::MacOSApiError, lead);
}

}  // namespace pelorix
