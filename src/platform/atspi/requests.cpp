#include "platform/atspi/requests.h"

#include <dbus/dbus.h>

#include <string>

#include "platform/atspi/bus.h"
#include "platform/atspi/desktop.h"
#include "platform/atspi/mapping.h"
#include "platform/call_bounds.h"

namespace pelorix::platform::atspi {

namespace {

constexpr unsigned kStateWords = 2;

// A call of the Accessible interface sent to the application without waiting for the reply;
// nullptr when it could not be sent.
DBusPendingCall* send_call(AtspiAccessible* accessible, const char* member) {
  const AtspiObject& object = accessible->parent;
  if (object.app == nullptr || object.app->bus == nullptr || object.app->bus_name == nullptr ||
      object.path == nullptr)
    return nullptr;
  int wait_ms = request_wait_ms(kCallTimeoutMs, object.app->bus_name);
  if (wait_ms == 0) return nullptr;
  // Rebinds the application objects to this process's own connection after a fork.
  if (accessibility_bus() == nullptr) return nullptr;
  DBusMessage* message = dbus_message_new_method_call(object.app->bus_name, object.path,
                                                      "org.a11y.atspi.Accessible", member);
  if (message == nullptr) return nullptr;
  DBusPendingCall* pending = nullptr;
  if (dbus_connection_send_with_reply(object.app->bus, message, &pending, wait_ms) == 0)
    pending = nullptr;
  dbus_message_unref(message);
  return pending;
}

// The reply to a call sent with send_call (a timeout arrives as an error reply).
class Reply {
 public:
  Reply(AtspiAccessible* accessible, DBusPendingCall* pending) {
    if (pending == nullptr) return;
    dbus_pending_call_block(pending);
    message_ = dbus_pending_call_steal_reply(pending);
    dbus_pending_call_unref(pending);
    if (message_ != nullptr && dbus_message_get_type(message_) == DBUS_MESSAGE_TYPE_ERROR &&
        went_unanswered(dbus_message_get_error_name(message_)))
      note_unanswered(reference_of(accessible).bus_name);
  }
  Reply(const Reply&) = delete;
  Reply& operator=(const Reply&) = delete;
  ~Reply() {
    if (message_ != nullptr) dbus_message_unref(message_);
  }
  // The status of the call; its arguments are read only on success.
  ::AXError status() const { return status_of_reply(message_); }
  DBusMessage* get() const { return message_; }

 private:
  DBusMessage* message_ = nullptr;
};

}  // namespace

// The role and the states of an element: both calls are sent before either reply is awaited,
// so the application answers the second without waiting for the caller in between. Both are
// live reads, as with two calls one after the other.
::AXError read_role_and_states(AtspiAccessible* accessible, AtspiRole* role, States* states) {
  DBusPendingCall* role_call = send_call(accessible, "GetRole");
  DBusPendingCall* state_call = role_call != nullptr ? send_call(accessible, "GetState") : nullptr;
  if (state_call == nullptr) {
    Reply discarded(accessible, role_call);
    if (::AXError status = read_role(accessible, role); status != kAXErrorSuccess) return status;
    return read_states(accessible, states);
  }
  Reply role_reply(accessible, role_call);
  if (::AXError status = role_reply.status(); status != kAXErrorSuccess) {
    // The second reply would only be awaited for nothing (a hung application would make the
    // read wait a second timeout).
    dbus_pending_call_cancel(state_call);
    dbus_pending_call_unref(state_call);
    return status;
  }
  Reply state_reply(accessible, state_call);
  dbus_uint32_t role_value = 0;
  if (dbus_message_get_args(role_reply.get(), nullptr, DBUS_TYPE_UINT32, &role_value,
                            DBUS_TYPE_INVALID) == 0)
    return kAXErrorFailure;
  *role = static_cast<AtspiRole>(role_value);
  if (::AXError status = state_reply.status(); status != kAXErrorSuccess)
    return status == kAXErrorInvalidUIElement ? status : kAXErrorCannotComplete;
  // The states are a bit set in an array of 32-bit words. Only the first two can name a state
  // libatspi knows (it keeps a set in 64 bits, and shifting by more is undefined); an
  // application may send millions of words, which are not looked at.
  DBusMessageIter args;
  DBusMessageIter words;
  if (dbus_message_iter_init(state_reply.get(), &args) == 0 ||
      dbus_message_iter_get_arg_type(&args) != DBUS_TYPE_ARRAY ||
      dbus_message_iter_get_element_type(&args) != DBUS_TYPE_UINT32)
    return kAXErrorFailure;
  dbus_message_iter_recurse(&args, &words);
  GArray* set = g_array_new(FALSE, FALSE, sizeof(AtspiStateType));
  for (unsigned word = 0;
       word < kStateWords && dbus_message_iter_get_arg_type(&words) == DBUS_TYPE_UINT32; ++word) {
    dbus_uint32_t bits = 0;
    dbus_message_iter_get_basic(&words, &bits);
    for (unsigned bit = 0; bit < 32; ++bit) {
      if ((bits & (1U << bit)) == 0) continue;
      auto state = static_cast<AtspiStateType>(word * 32 + bit);
      g_array_append_val(set, state);
    }
    dbus_message_iter_next(&words);
  }
  states->set = Owned<AtspiStateSet>(atspi_state_set_new(set));
  g_array_free(set, TRUE);
  // A defunct element is one whose widget was destroyed.
  return states->has(ATSPI_STATE_DEFUNCT) ? kAXErrorInvalidUIElement : kAXErrorSuccess;
}

}  // namespace pelorix::platform::atspi
