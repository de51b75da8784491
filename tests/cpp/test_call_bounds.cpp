// The bounds of a call: deadlines that nest, the wait a request is given, Ctrl-C's check.
#include "platform/call_bounds.h"

#include <gtest/gtest.h>

#include <limits>

namespace pelorix::platform {
namespace {

constexpr int kStandardMs = 1000;
const std::string kPeer = ":1.42";

bool signal_pending = false;
bool pending_signal() {
  return signal_pending;
}

TEST(CallBounds, AnInnerLimitNarrowsAndTheOuterOneComesBack) {
  CallBounds call;
  EXPECT_FALSE(call_end().has_value());
  {
    CallBounds search(0);
    ASSERT_TRUE(call_end().has_value());
    auto left = *call_end() - now();
    EXPECT_GT(left, kRequestMargin - std::chrono::milliseconds(500));
    EXPECT_LE(left, kRequestMargin);
    {
      // A longer inner limit does not extend the enclosing one.
      CallBounds longer(60000);
      EXPECT_LE(*call_end() - now(), kRequestMargin);
    }
    EXPECT_LE(*call_end() - now(), kRequestMargin);
  }
  EXPECT_FALSE(call_end().has_value());
}

TEST(CallBounds, ALimitTooFarToExpressIsNone) {
  CallBounds call(std::numeric_limits<std::uint64_t>::max());
  EXPECT_FALSE(call_end().has_value());
  EXPECT_EQ(request_wait_ms(kStandardMs, kPeer), kStandardMs);
}

TEST(CallBounds, ARequestNeverWaitsPastTheEnd) {
  CallBounds call(0);
  int wait = request_wait_ms(60 * kStandardMs, kPeer);
  EXPECT_GT(wait, 0);
  EXPECT_LE(wait, kRequestMargin.count());
}

TEST(CallBounds, AnApplicationThatLetTheCallDownGetsShortWaitsUntilTheCallEnds) {
  {
    CallBounds call;
    note_unanswered(kPeer);
    EXPECT_EQ(request_wait_ms(kStandardMs, kPeer), kLateWaitMs);
    EXPECT_EQ(request_wait_ms(kStandardMs, ":1.43"), kStandardMs);
    {
      CallBounds inner(60000);
      EXPECT_EQ(request_wait_ms(kStandardMs, kPeer), kLateWaitMs);
    }
  }
  CallBounds next;
  EXPECT_EQ(request_wait_ms(kStandardMs, kPeer), kStandardMs);
}

TEST(CallBounds, APendingSignalStopsTheCall) {
  install_signal_check(pending_signal);
  CallBounds call;
  EXPECT_FALSE(call_stopped());
  signal_pending = true;
  EXPECT_TRUE(call_stopped());
  EXPECT_EQ(request_wait_ms(kStandardMs, kPeer), 0);
  signal_pending = false;
  install_signal_check(nullptr);
}

}  // namespace
}  // namespace pelorix::platform
