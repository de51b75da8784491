// A connection whose peer is a function in this process: what stands in for an XPC service
// wherever there is no XPC, so the idle-service client can be exercised.
#pragma once

#if defined(__APPLE__)
#error "the in-process XPC stand-in exists only where XPC does not"
#endif

#include <functional>

#include "platform/xpc.h"

namespace pelorix::platform {

// The handler gets each message (borrowed) and returns an owned reply, or null for an error
// reply.
using XpcHandler = std::function<xpc_object_t(xpc_object_t message)>;
xpc_connection_t make_fake_connection(XpcHandler handler);
bool fake_connection_cancelled(xpc_connection_t connection);
long xpc_live_objects();

}  // namespace pelorix::platform
