#include <gtest/gtest.h>

#include "error/ax_error.h"
#include "error/result.h"
#include "platform/failure_detail.h"

namespace pelorix {
namespace {

struct StatusCase {
  AccessibilityStatus status;
  const char* name;
  AXErrorKind kind;
  const char* message;
};

class StatusMapping : public testing::TestWithParam<StatusCase> {};

TEST_P(StatusMapping, GivesKindAndMessage) {
  const StatusCase& c = GetParam();
  AXError error = ax_error_to_result(c.status, c.name);
  EXPECT_EQ(error.kind(), c.kind);
  EXPECT_EQ(error.message(), c.message);
}

// A cause the backend recorded for a failing call follows the status's text, for that call's
// status and name only, and is gone once the next call starts.
TEST(FailureDetail, FollowsOnlyTheCallThatRecordedIt) {
  platform::clear_failure_detail();
  platform::note_failure_detail(-25206, "AXPress", "the AXTable has no press action");
  EXPECT_EQ(ax_error_to_result(-25206, "AXPress").message(),
            "Action not supported in background mode: Action unsupported: AXPress (the AXTable "
            "has no press action)");
  EXPECT_EQ(ax_error_to_result(-25206, "AXShowMenu").message(),
            "Action not supported in background mode: Action unsupported: AXShowMenu");
  EXPECT_EQ(ax_error_to_result(-25204, "AXPress").message(),
            "Action failed: Cannot complete: AXPress");
  platform::clear_failure_detail();
  EXPECT_EQ(ax_error_to_result(-25206, "AXPress").message(),
            "Action not supported in background mode: Action unsupported: AXPress");
}

constexpr const char* kNotEnabled =
    "Accessibility not enabled. Enable in System Preferences > Privacy > Accessibility";

INSTANTIATE_TEST_SUITE_P(
    EveryPublishedCode, StatusMapping,
    testing::Values(
        StatusCase{-25200, "AXValue", AXErrorKind::ActionFailed, "Action failed: AXValue"},
        StatusCase{-25200, "", AXErrorKind::ActionFailed, "Action failed: "},
        StatusCase{-25201, "AXRole", AXErrorKind::InvalidQuery,
                   "Invalid query: Illegal argument: AXRole"},
        StatusCase{-25202, "AXChildren", AXErrorKind::ElementNotFound,
                   "Element not found: AXChildren"},
        StatusCase{-25203, "AXPress", AXErrorKind::MacOSApiError,
                   "macOS API error: Unknown error -25203: AXPress"},
        StatusCase{-25204, "AXPress", AXErrorKind::ActionFailed,
                   "Action failed: Cannot complete: AXPress"},
        StatusCase{-25205, "AXTitle", AXErrorKind::InvalidQuery,
                   "Invalid query: Attribute unsupported: AXTitle"},
        StatusCase{-25206, "AXShowMenu", AXErrorKind::ActionNotSupportedInBackground,
                   "Action not supported in background mode: Action unsupported: AXShowMenu"},
        StatusCase{-25207, "n", AXErrorKind::MacOSApiError,
                   "macOS API error: Unknown error -25207: n"},
        StatusCase{-25208, "n", AXErrorKind::MacOSApiError,
                   "macOS API error: Unknown error -25208: n"},
        StatusCase{-25209, "AXTitle", AXErrorKind::AccessibilityNotEnabled, kNotEnabled},
        StatusCase{-25210, "AXTitle", AXErrorKind::AccessibilityNotEnabled, kNotEnabled},
        StatusCase{-25211, "anything", AXErrorKind::AccessibilityNotEnabled, kNotEnabled},
        StatusCase{-25212, "AXTitle", AXErrorKind::ElementNotFound,
                   "Element not found: No value for: AXTitle"},
        StatusCase{-25213, "AXRole", AXErrorKind::MacOSApiError,
                   "macOS API error: Unknown error -25213: AXRole"},
        StatusCase{-25214, "AXRole", AXErrorKind::MacOSApiError,
                   "macOS API error: Unknown error -25214: AXRole"},
        StatusCase{7, "AXRole", AXErrorKind::MacOSApiError,
                   "macOS API error: Unknown error 7: AXRole"},
        StatusCase{INT32_MIN, "x", AXErrorKind::MacOSApiError,
                   "macOS API error: Unknown error -2147483648: x"}));

TEST(AXErrorKinds, DeclarationOrderIsTheIndex) {
  const AXErrorKind order[] = {AXErrorKind::AccessibilityNotEnabled,
                               AXErrorKind::AppNotFound,
                               AXErrorKind::AppNotRunning,
                               AXErrorKind::ElementNotFound,
                               AXErrorKind::ElementNotFoundAfterHealing,
                               AXErrorKind::ActionFailed,
                               AXErrorKind::ActionNotSupportedInBackground,
                               AXErrorKind::Timeout,
                               AXErrorKind::InvalidQuery,
                               AXErrorKind::MacOSApiError};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(static_cast<int>(order[i]), i);
}

TEST(AXErrorKinds, EveryKindPrefixesItsText) {
  const std::pair<AXErrorKind, const char*> cases[] = {
      {AXErrorKind::AppNotFound, "Application not found: X"},
      {AXErrorKind::AppNotRunning, "Application not running: X"},
      {AXErrorKind::ElementNotFound, "Element not found: X"},
      {AXErrorKind::ElementNotFoundAfterHealing, "Element not found after healing attempts: X"},
      {AXErrorKind::ActionFailed, "Action failed: X"},
      {AXErrorKind::ActionNotSupportedInBackground, "Action not supported in background mode: X"},
      {AXErrorKind::Timeout, "Timeout waiting for element: X"},
      {AXErrorKind::InvalidQuery, "Invalid query: X"},
      {AXErrorKind::MacOSApiError, "macOS API error: X"},
  };
  for (const auto& [kind, message] : cases) EXPECT_EQ(AXError(kind, "X").message(), message);
  EXPECT_EQ(AXError(AXErrorKind::AccessibilityNotEnabled, "ignored").message(), kNotEnabled);
}

TEST(ResultType, CarriesValueOrErrorAndMovesOwnedValues) {
  Result<std::unique_ptr<int>> good = std::make_unique<int>(4);
  ASSERT_TRUE(good.ok());
  std::unique_ptr<int> taken = std::move(good).value();
  EXPECT_EQ(*taken, 4);
  Result<void> bad = AXError(AXErrorKind::Timeout, "t");
  ASSERT_FALSE(bad.ok());
  EXPECT_EQ(bad.error().message(), "Timeout waiting for element: t");
  EXPECT_TRUE(Result<void>().ok());
}

}  // namespace
}  // namespace pelorix
