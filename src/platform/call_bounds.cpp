#include "platform/call_bounds.h"

#include <algorithm>
#include <atomic>
#include <set>

namespace pelorix::platform {
namespace {

std::atomic<SignalCheck> installed_check{nullptr};

struct CallState {
  int depth = 0;
  std::optional<Instant> end;
  std::set<std::string> unanswered;
};

CallState& state() {
  thread_local CallState instance;
  return instance;
}

bool signal_raised() {
  SignalCheck check = installed_check.load(std::memory_order_acquire);
  return check != nullptr && check();
}

// Ten years: a deadline further away than that is no deadline (and beyond what the clock's
// time points can hold for limits near 2^64 ms).
constexpr std::uint64_t kFarthestLimitMs = 10ULL * 366 * 24 * 3600 * 1000;

}  // namespace

void install_signal_check(SignalCheck check) {
  installed_check.store(check, std::memory_order_release);
}

CallBounds::CallBounds() : enclosing_end_(state().end), outermost_(state().depth == 0) {
  CallState& call = state();
  if (outermost_) call.unanswered.clear();
  ++call.depth;
}

CallBounds::CallBounds(std::uint64_t limit_ms) : CallBounds(limit_ms, kRequestMargin) {}

CallBounds::CallBounds(std::uint64_t limit_ms, std::chrono::milliseconds margin) : CallBounds() {
  if (limit_ms > kFarthestLimitMs) return;
  Instant end = now() + std::chrono::milliseconds(limit_ms) + margin;
  CallState& call = state();
  call.end = call.end ? std::min(*call.end, end) : end;
}

CallBounds::~CallBounds() {
  CallState& call = state();
  call.end = enclosing_end_;
  --call.depth;
  if (outermost_) call.unanswered.clear();
}

std::optional<Instant> call_end() {
  return state().end;
}

bool call_stopped() {
  if (signal_raised()) return true;
  const CallState& call = state();
  return call.end && now() >= *call.end;
}

int request_wait_ms(int standard, const std::string& peer) {
  if (call_stopped()) return 0;
  const CallState& call = state();
  if (call.unanswered.count(peer) != 0) standard = std::min(standard, kLateWaitMs);
  if (!call.end) return standard;
  auto left = std::chrono::ceil<std::chrono::milliseconds>(*call.end - now()).count();
  return static_cast<int>(std::clamp<std::int64_t>(left, 0, standard));
}

void note_unanswered(const std::string& peer) {
  if (state().depth > 0) state().unanswered.insert(peer);
}

}  // namespace pelorix::platform
