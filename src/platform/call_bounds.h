// What bounds the call running on this thread. A call into the module opens bounds at its
// entry and closes them when it returns; a call with a time limit (a search, a wait for idle)
// narrows them to its own deadline. Every request to an application and every poll of a wait
// asks here whether to go on, so no tree, however large or slow to answer, makes a call
// outlast its limit, and Ctrl-C ends it at the next request or poll.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/clock.h"

namespace pelorix::platform {

// How far past its own limit a call may run: room for a method the application leaves
// unanswered (a second where the reads are batched, another in the live read that follows)
// and for the rest of the attempt after it, so that a search with a limit of 0 still makes one
// whole attempt when one of the application's methods hangs.
inline constexpr std::chrono::milliseconds kRequestMargin{3000};

// Installed once by the binding: runs the handlers of signals that arrived (Ctrl-C's raises
// KeyboardInterrupt) without releasing the interpreter lock, and says whether an exception is
// now pending. It answers false on threads that do not hold that lock.
using SignalCheck = bool (*)();
void install_signal_check(SignalCheck check);

class CallBounds {
 public:
  // Bounds without a deadline of their own (inside a call with one, that one holds).
  CallBounds();
  // Bounds that end `limit_ms` from now plus kRequestMargin (or those of an enclosing call, when
  // they end sooner). A limit too far away to express is none.
  explicit CallBounds(std::uint64_t limit_ms);
  // Bounds that end `limit_ms` plus `margin` from now (or sooner, as above): a call that can
  // make nothing of a half-finished attempt (a wait for idle, whose fingerprint cut short is
  // no reading) ends at its limit itself.
  CallBounds(std::uint64_t limit_ms, std::chrono::milliseconds margin);
  ~CallBounds();
  CallBounds(const CallBounds&) = delete;
  CallBounds& operator=(const CallBounds&) = delete;

 private:
  std::optional<Instant> enclosing_end_;
  bool outermost_;
};

// When the current call's bounds end, if they do: what a batch of reads opened for the call
// may use as its own deadline.
std::optional<Instant> call_end();

// Whether the current call must stop: a signal handler raised, or its bounds ended.
bool call_stopped();

// How long a request sent now to `peer` (an application's bus name) may wait for its reply:
// `standard`, or less when the call's bounds end sooner or the peer already let one of the
// call's requests go unanswered (then kLateWaitMs); 0 when it must not be sent at all.
int request_wait_ms(int standard, const std::string& peer);

// What an application that let a request of the current call go unanswered within the limit
// is given for each further request of that call: one slow or hung method should not cost the
// full limit again on every read, while the methods it does answer are still asked.
inline constexpr int kLateWaitMs = 100;

// Notes that `peer` let a request of the current call go unanswered.
void note_unanswered(const std::string& peer);

}  // namespace pelorix::platform
