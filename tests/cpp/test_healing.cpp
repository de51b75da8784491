#include <gtest/gtest.h>

#include <stdexcept>

#include "healing/healing_config.h"

namespace pelorix::healing {
namespace {

TEST(HealingSlot, InstallReplacesTheStoredCopy) {
  ConfigSlot slot;
  EXPECT_FALSE(slot.snapshot().has_value());
  ASSERT_TRUE(slot.install(HealingConfig{{"xpath"}, 5, false}));
  ASSERT_TRUE(slot.install(HealingConfig{{"title", "title"}, 0, true}));
  auto stored = slot.snapshot();
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(stored->strategies, (std::vector<std::string>{"title", "title"}));
  EXPECT_EQ(stored->max_heal_time_ms, 0u);
  EXPECT_TRUE(stored->cache_healed);
}

TEST(HealingSlot, AFaultInsideAWriterPoisonsTheLockForGood) {
  ConfigSlot slot;
  ASSERT_TRUE(slot.install(HealingConfig{{"a"}, 1, true}));
  EXPECT_THROW(slot.write([](std::optional<HealingConfig>& stored) {
    stored->strategies.push_back("half-written");
    throw std::runtime_error("fault");
  }),
               std::runtime_error);
  EXPECT_FALSE(slot.install(HealingConfig{{"b"}, 2, false}));
  EXPECT_FALSE(slot.install(HealingConfig{}));
  // Nothing was stored after the fault.
  EXPECT_EQ(slot.snapshot()->strategies, (std::vector<std::string>{"a", "half-written"}));
}

TEST(HealingDefaults, SevenStrategiesInOrder) {
  EXPECT_EQ(default_strategies(),
            (std::vector<std::string>{"data_testid", "aria_label", "identifier", "title", "xpath",
                                      "position", "visual_vlm"}));
  HealingConfig config;
  EXPECT_EQ(config.max_heal_time_ms, 100u);
  EXPECT_TRUE(config.cache_healed);
}

}  // namespace
}  // namespace pelorix::healing
