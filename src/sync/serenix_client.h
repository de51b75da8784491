// The client of the Serenix idle service, reached over XPC: it asks whether the application is
// idle. Nothing in the module opens a connection to the service; an engine built with a client
// (from C++) asks the service instead of hashing the tree.
//
// Contract: the request is a dictionary with the single entry "selector" = "isIdle" (a string);
// the reply is a dictionary whose boolean "idle" is true when the application is idle. Any other
// reply, an error object included, means not idle.
#pragma once

#include "platform/platform.h"
#include "sync/limit.h"
#include "sync/runtime.h"

namespace pelorix::sync {

// How often a wait asks the service again.
inline constexpr std::chrono::milliseconds kServicePollInterval{10};

class SerenixClient {
 public:
  // Takes over the caller's reference to `connection`, which may be null: a client without a
  // connection answers that the application is not idle.
  explicit SerenixClient(xpc_connection_t connection) : connection_(connection) {}
  // Cancels and releases the connection, once.
  ~SerenixClient();
  SerenixClient(const SerenixClient&) = delete;
  SerenixClient& operator=(const SerenixClient&) = delete;

  // One request, blocking the calling thread for the round trip.
  bool is_idle() const;
  // Asks until the service answers idle or `limit` has passed since the call began (checked
  // before every request, so a zero limit sends nothing). The requests run on the calling
  // thread; the pauses between them are timers of `runtime`.
  bool wait_for_idle(Limit limit, Runtime& runtime) const;

 private:
  xpc_connection_t connection_;
};

}  // namespace pelorix::sync
