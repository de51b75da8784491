#include <gtest/gtest.h>

#include <limits>

#include "platform/host_commands.h"

namespace pelorix::platform::commands {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

TEST(RegionText, TruncatesTowardZeroAndHoldsAtTheLimits) {
  EXPECT_EQ(region_text({10.9, -0.5, 100.99, 20}), "10,0,100,20");
  EXPECT_EQ(region_text({5, 5, 0, 0}), "5,5,0,0");
  EXPECT_EQ(region_text({-0.0, -1.9, -2147483647.5, 2147483646.99}), "0,-1,-2147483647,2147483646");
  EXPECT_EQ(region_text({2147483647.0, 2147483647.9, 2147483648.0, 1e300}),
            "2147483647,2147483647,2147483647,2147483647");
  EXPECT_EQ(region_text({-2147483648.0, -2147483648.9, -2147483649.0, -1e300}),
            "-2147483648,-2147483648,-2147483648,-2147483648");
  EXPECT_EQ(region_text({kInfinity, -kInfinity, kNaN, -kNaN}), "2147483647,-2147483648,0,0");
}

}  // namespace
}  // namespace pelorix::platform::commands
