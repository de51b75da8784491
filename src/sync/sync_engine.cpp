#include "sync/sync_engine.h"

#include "platform/call_bounds.h"
#include "platform/clock.h"
#include "sync/runtime.h"

namespace pelorix::sync {

bool wait_until_stable(Limit limit, const std::function<std::uint64_t()>& reading) {
  platform::Instant start = platform::now();
  // Each fingerprint stops when the limit is spent (and kRequestMargin), however wide
  // the tree; Ctrl-C stops the wait at the next poll.
  platform::CallBounds bounds(limit.whole_milliseconds());
  // A first reading of 0 counts as a repeat; at one chance in 2^64 it is not worth a flag.
  std::uint64_t previous = 0;
  int repeats = 0;
  while (!limit.reached_since(start) && !platform::call_stopped()) {
    std::uint64_t hash = reading();
    if (hash == previous) {
      if (repeats > 1) return true;
      ++repeats;
    } else {
      repeats = 0;
      previous = hash;
    }
    platform::sleep_for(kIdlePollInterval);
  }
  return false;
}

Result<bool, Failure> SyncEngine::wait_for_idle(Limit limit) const {
  auto runtime = process_runtime();
  if (!runtime) return std::move(runtime).error();
  if (service_decides()) return client_->wait_for_idle(limit, **runtime);
  return wait_until_stable(limit, [this] { return heuristic_.hash_tree(); });
}

bool SyncEngine::is_idle() const {
  if (mode_ == SyncMode::Service && client_ == nullptr) return false;
  if (service_decides()) return client_->is_idle();
  // An instant check: both fingerprints end within platform::kRequestMargin, however large
  // the tree.
  platform::CallBounds bounds(0);
  std::uint64_t first = heuristic_.hash_tree();
  platform::sleep_for(kIdleCheckInterval);
  return first == heuristic_.hash_tree();
}

}  // namespace pelorix::sync
