// The module's one error type. Every failure of an internal operation is one of these kinds,
// and every kind reaches Python as RuntimeError carrying message().
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pelorix {

// The order is part of the contract: a kind's index is its position here.
enum class AXErrorKind : std::uint8_t {
  AccessibilityNotEnabled,
  AppNotFound,
  AppNotRunning,
  ElementNotFound,
  ElementNotFoundAfterHealing,
  ActionFailed,
  ActionNotSupportedInBackground,
  Timeout,
  InvalidQuery,
  MacOSApiError,
};

class AXError {
 public:
  AXError(AXErrorKind kind, std::string text) : kind_(kind), text_(std::move(text)) {}
  static AXError accessibility_not_enabled() { return {AXErrorKind::AccessibilityNotEnabled, {}}; }

  AXErrorKind kind() const { return kind_; }
  // The text the error carries; AccessibilityNotEnabled carries none.
  const std::string& text() const { return text_; }
  // The kind's prefix followed directly by the text.
  std::string message() const;

 private:
  AXErrorKind kind_;
  std::string text_;
};

std::string_view message_prefix(AXErrorKind kind);

// The status code of an accessibility call (the platform's own AXError type).
using AccessibilityStatus = std::int32_t;

// The error for a non-zero status of a call about the attribute or action `name`.
AXError ax_error_to_result(AccessibilityStatus status, std::string_view name);

}  // namespace pelorix
