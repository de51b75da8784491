#include "sync/sync_engine.h"

#include "platform/call_bounds.h"
#include "platform/clock.h"
#include "sync/runtime.h"

namespace pelorix::sync {

bool wait_until_stable(Limit limit, const std::function<std::uint64_t()>& reading) {
  platform::Instant start = platform::now();
  // The fingerprints end at the limit: one cut short there is no reading of the tree (it
  // would differ from the one before only by where it stopped), so the wait is over without
  // judging it, and no tree, however wide or slow to answer, keeps the wait past its limit by
  // more than the requests already in flight. Ctrl-C stops the wait at the next request.
  platform::CallBounds bounds(limit.whole_milliseconds(), std::chrono::milliseconds(0));
  // A first reading of 0 counts as a repeat; at one chance in 2^64 it is not worth a flag.
  std::uint64_t previous = 0;
  int repeats = 0;
  while (!limit.reached_since(start) && !platform::call_stopped()) {
    std::uint64_t hash = reading();
    if (limit.reached_since(start) || platform::call_stopped()) return false;
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
  // the tree. A fingerprint cut short there says nothing about the tree (two cut at different
  // places differ, two cut at the same place hide the rest): not known to be idle.
  platform::CallBounds bounds(0);
  std::uint64_t first = heuristic_.hash_tree();
  if (platform::call_stopped()) return false;
  platform::sleep_for(kIdleCheckInterval);
  std::uint64_t second = heuristic_.hash_tree();
  return !platform::call_stopped() && first == second;
}

}  // namespace pelorix::sync
