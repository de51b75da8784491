// The idle engine every AXApp owns: it answers whether the application is idle now, and waits
// until it is or a limit passes, by asking the idle service or by watching the tree fingerprint.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "error/result.h"
#include "sync/heuristic_sync.h"
#include "sync/limit.h"
#include "sync/serenix_client.h"

namespace pelorix::sync {

// The pause between fingerprints while waiting, and between the two of an instant check.
inline constexpr std::chrono::milliseconds kIdlePollInterval{50};
inline constexpr std::chrono::milliseconds kIdleCheckInterval{100};

enum class SyncMode : std::uint8_t { Service = 0, Heuristic = 1, Hybrid = 2 };

class SyncEngine {
 public:
  // Connecting makes every engine in Heuristic mode without a client; only C++ gives it one.
  explicit SyncEngine(HeuristicSync heuristic, SyncMode mode = SyncMode::Heuristic,
                      std::unique_ptr<SerenixClient> client = nullptr)
      : client_(std::move(client)), heuristic_(heuristic), mode_(mode) {}

  // True once the application is idle, false when `limit` passed first. Makes sure the
  // process's runtime exists before anything else; failing to start it is the only failure.
  Result<bool, Failure> wait_for_idle(Limit limit) const;
  // Whether the application is idle now. The tree heuristic compares two fingerprints taken
  // 100 ms apart, so this blocks for at least that long.
  bool is_idle() const;

 private:
  bool service_decides() const { return client_ != nullptr && mode_ != SyncMode::Heuristic; }

  std::unique_ptr<const SerenixClient> client_;
  HeuristicSync heuristic_;
  SyncMode mode_;
};

// The waiting rule of the tree heuristic, over any source of fingerprints: idle at the fourth
// identical reading in a row, with kIdlePollInterval between readings. The readings end at the
// limit, and one that ends past it is not judged: the wait then answers false.
bool wait_until_stable(Limit limit, const std::function<std::uint64_t()>& reading);

}  // namespace pelorix::sync
