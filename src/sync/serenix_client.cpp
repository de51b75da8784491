#include "sync/serenix_client.h"

#include <utility>

namespace pelorix::sync {
namespace {

// Owns one XPC object reference.
class XpcRef {
 public:
  explicit XpcRef(xpc_object_t object) : object_(object) {}
  ~XpcRef() {
    if (object_ != nullptr) xpc_release(object_);
  }
  XpcRef(const XpcRef&) = delete;
  XpcRef& operator=(const XpcRef&) = delete;
  xpc_object_t get() const { return object_; }

 private:
  xpc_object_t object_;
};

}  // namespace

SerenixClient::~SerenixClient() {
  if (xpc_connection_t connection = std::exchange(connection_, nullptr)) {
    xpc_connection_cancel(connection);
    xpc_release(connection);
  }
}

bool SerenixClient::is_idle() const {
  if (connection_ == nullptr) return false;
  XpcRef message = [] {
    XpcRef selector(xpc_string_create("isIdle"));
    const char* const keys[] = {"selector"};
    const xpc_object_t values[] = {selector.get()};
    // The dictionary takes its own reference to the string.
    return XpcRef(xpc_dictionary_create(keys, values, 1));
  }();
  XpcRef reply(xpc_connection_send_message_with_reply_sync(connection_, message.get()));
  // A reply that is no dictionary (an error) or lacks the boolean reads as false.
  return reply.get() != nullptr && xpc_dictionary_get_bool(reply.get(), "idle");
}

bool SerenixClient::wait_for_idle(Limit limit, Runtime& runtime) const {
  platform::Instant start = platform::now();
  while (!limit.reached_since(start)) {
    if (is_idle()) return true;
    runtime.wait_on_timer(kServicePollInterval);
  }
  return false;
}

}  // namespace pelorix::sync
