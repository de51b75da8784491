// How a lost locator may be healed, and the process-wide slot that holds the installed
// configuration.
#pragma once

#include <cstdint>
#include <exception>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

namespace pelorix::healing {

struct HealingConfig {
  std::vector<std::string> strategies;
  std::uint64_t max_heal_time_ms = 100;
  bool cache_healed = true;
};

std::vector<std::string> default_strategies();

inline constexpr std::string_view kPoisonedLockMessage =
    "poisoned lock: another task failed inside";

// A reader/writer lock around one optional configuration. A writer that fails part-way leaves
// the slot in an unknown state, so the lock is then poisoned for good and every later writer
// is refused instead of building on it.
class ConfigSlot {
 public:
  // Runs `change` on the stored configuration under the write lock. False when the lock is
  // poisoned (nothing runs). An exception from `change` poisons the lock and propagates.
  template <class F>
  bool write(F&& change) {
    std::unique_lock lock(mutex_);
    if (poisoned_) return false;
    try {
      change(stored_);
    } catch (...) {
      poisoned_ = true;
      throw;
    }
    return true;
  }

  // Replaces the stored configuration; false when the lock is poisoned.
  bool install(HealingConfig config) {
    return write([&](std::optional<HealingConfig>& slot) { slot = std::move(config); });
  }

  std::optional<HealingConfig> snapshot() const {
    std::shared_lock lock(mutex_);
    return stored_;
  }

 private:
  mutable std::shared_mutex mutex_;
  bool poisoned_ = false;
  std::optional<HealingConfig> stored_;
};

// Empty until configure_healing installs a configuration; nothing in the module reads it yet.
extern ConfigSlot GLOBAL_CONFIG;

}  // namespace pelorix::healing
