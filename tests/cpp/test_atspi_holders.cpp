// The holders of what libatspi hands out.
#include <gtest/gtest.h>

#include "platform/atspi/holders.h"

namespace pelorix::platform::atspi {
namespace {

GQuark test_domain() {
  return g_quark_from_static_string("pelorix-test");
}

// A call that fails like libatspi's do: it sets the error only when given a place for it.
double failing_read(const char* message, GError** error) {
  g_set_error_literal(error, test_domain(), 1, message);
  return 0;
}

TEST(AtspiErrorSlot, AnErrorHeldIsNeverOverwrittenOrLost) {
  ErrorSlot slot;
  EXPECT_FALSE(slot);
  failing_read("the first read failed", slot.out());
  ASSERT_TRUE(slot);
  // A later call gets no place for its error: the first one is what the caller sees.
  EXPECT_EQ(slot.out(), nullptr);
  failing_read("the second read failed", slot.out());
  EXPECT_STREQ(slot.error->message, "the first read failed");
}

TEST(AtspiErrorSlot, ASlotThatHoldsNoErrorTakesOne) {
  ErrorSlot slot;
  GError** place = slot.out();
  ASSERT_NE(place, nullptr);
  EXPECT_EQ(slot.out(), place);  // still free: the same place again
  failing_read("failed", place);
  EXPECT_TRUE(slot);
}

}  // namespace
}  // namespace pelorix::platform::atspi
