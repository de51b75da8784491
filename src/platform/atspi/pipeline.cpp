#include "platform/atspi/pipeline.h"

#include <dbus/dbus.h>

#include <cstring>
#include <deque>

#include "platform/atspi/cache_items.h"
#include "platform/atspi/outline.h"
#include "platform/call_bounds.h"

namespace pelorix::platform::atspi {
namespace {

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kComponent = "org.a11y.atspi.Component";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kCachePath = "/org/a11y/atspi/cache";
// ATSPI_COORD_TYPE_SCREEN
constexpr dbus_uint32_t kScreenCoordinates = 0;

DBusMessage* new_call(const Peer& peer, const char* path, const char* interface,
                      const char* member) {
  if (!dbus_validate_path(path, nullptr)) return nullptr;
  return dbus_message_new_method_call(peer.bus_name.c_str(), path, interface, member);
}

// `message` with the arguments appended (as dbus_message_append_args takes them), or null, the
// message released, when they cannot be.
template <class... Arguments>
DBusMessage* with_arguments(DBusMessage* message, Arguments... arguments) {
  if (message != nullptr &&
      dbus_message_append_args(message, arguments..., DBUS_TYPE_INVALID) == 0) {
    dbus_message_unref(message);
    return nullptr;
  }
  return message;
}

// Properties.Get, one property at a time: Qt 5 crashes on Properties.GetAll, which only goes
// to browsers.
DBusMessage* property_call(const Peer& peer, const char* path, const char* property) {
  const char* interface = kAccessible;
  return with_arguments(new_call(peer, path, kProperties, "Get"), DBUS_TYPE_STRING, &interface,
                        DBUS_TYPE_STRING, &property);
}

DBusMessage* message_for(const Peer& peer, const Request& request) {
  const char* path = request.path.c_str();
  const char* interface = kAccessible;
  dbus_uint32_t coordinates = kScreenCoordinates;
  dbus_int32_t index = request.index;
  dbus_int32_t column = request.column;
  switch (request.kind) {
    case Request::Kind::GetRole:
      return new_call(peer, path, kAccessible, "GetRole");
    case Request::Kind::GetState:
      return new_call(peer, path, kAccessible, "GetState");
    case Request::Kind::GetChildren:
      return new_call(peer, path, kAccessible, "GetChildren");
    case Request::Kind::Name:
      return property_call(peer, path, "Name");
    case Request::Kind::AccessibleId:
      return property_call(peer, path, "AccessibleId");
    case Request::Kind::ScreenExtents:
      return with_arguments(new_call(peer, path, kComponent, "GetExtents"), DBUS_TYPE_UINT32,
                            &coordinates);
    case Request::Kind::CacheItems:
      return new_call(peer, kCachePath, "org.a11y.atspi.Cache", "GetItems");
    case Request::Kind::ChildCount:
      return property_call(peer, path, "ChildCount");
    case Request::Kind::ChildAtIndex:
      return with_arguments(new_call(peer, path, kAccessible, "GetChildAtIndex"), DBUS_TYPE_INT32,
                            &index);
    case Request::Kind::TableCell:
      return with_arguments(new_call(peer, path, "org.a11y.atspi.Table", "GetAccessibleAt"),
                            DBUS_TYPE_INT32, &index, DBUS_TYPE_INT32, &column);
    case Request::Kind::Properties:
      return with_arguments(new_call(peer, path, kProperties, "GetAll"), DBUS_TYPE_STRING,
                            &interface);
    case Request::Kind::Outline: {
      DBusMessage* message = new_call(peer, path, "org.a11y.atspi.Collection", "GetMatches");
      if (message == nullptr) return nullptr;
      DBusMessageIter args;
      dbus_message_iter_init_append(message, &args);
      append_outline_arguments(&args, static_cast<OutlinePart>(request.index));
      return message;
    }
  }
  return nullptr;
}

struct InFlight {
  std::size_t index;
  DBusPendingCall* pending;
};

// The requests still in flight when the run ends early (a reader that throws, e.g. out of
// memory): cancelled and released, so that nothing of theirs outlives the run.
class Cancelling {
 public:
  explicit Cancelling(std::deque<InFlight>* in_flight) : in_flight_(in_flight) {}
  ~Cancelling() {
    for (InFlight& request : *in_flight_) {
      if (request.pending == nullptr) continue;
      dbus_pending_call_cancel(request.pending);
      dbus_pending_call_unref(request.pending);
    }
  }
  Cancelling(const Cancelling&) = delete;
  Cancelling& operator=(const Cancelling&) = delete;

 private:
  std::deque<InFlight>* in_flight_;
};

struct Reply {
  DBusMessage* message;
  ~Reply() {
    if (message != nullptr) dbus_message_unref(message);
  }
};

}  // namespace

bool is_timeout_reply(DBusMessage* reply) {
  if (reply == nullptr || dbus_message_get_type(reply) != DBUS_MESSAGE_TYPE_ERROR) return false;
  const char* name = dbus_message_get_error_name(reply);
  return name != nullptr && (std::strcmp(name, DBUS_ERROR_NO_REPLY) == 0 ||
                             std::strcmp(name, DBUS_ERROR_TIMEOUT) == 0 ||
                             std::strcmp(name, DBUS_ERROR_TIMED_OUT) == 0);
}

bool is_return(DBusMessage* reply, const char* signature) {
  return reply != nullptr && dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_METHOD_RETURN &&
         std::strcmp(dbus_message_get_signature(reply), signature) == 0;
}

bool read_states(DBusMessage* reply, std::vector<std::uint32_t>* out) {
  if (!is_return(reply, "au")) return false;
  DBusMessageIter args;
  DBusMessageIter words;
  dbus_message_iter_init(reply, &args);
  dbus_message_iter_recurse(&args, &words);
  out->clear();
  while (dbus_message_iter_get_arg_type(&words) == DBUS_TYPE_UINT32) {
    dbus_uint32_t bits = 0;
    dbus_message_iter_get_basic(&words, &bits);
    if (out->size() < kMaxStateWords) out->push_back(bits);
    dbus_message_iter_next(&words);
  }
  return true;
}

bool has_state(const std::vector<std::uint32_t>& words, unsigned state) {
  std::size_t word = state / 32;
  return word < words.size() && (words[word] & (1U << (state % 32))) != 0;
}

bool read_child_count(DBusMessage* reply, std::int32_t* count) {
  if (!is_return(reply, "v")) return false;
  DBusMessageIter args;
  DBusMessageIter value;
  dbus_message_iter_init(reply, &args);
  dbus_message_iter_recurse(&args, &value);
  if (dbus_message_iter_get_arg_type(&value) != DBUS_TYPE_INT32) return false;
  dbus_int32_t number = 0;
  dbus_message_iter_get_basic(&value, &number);
  *count = number;
  return true;
}

bool run_pipelined(const Peer& peer, const std::vector<Request>& requests, int timeout_ms,
                   const std::function<void(std::size_t, DBusMessage*)>& take) {
  std::deque<InFlight> in_flight;
  Cancelling cancel_on_exit(&in_flight);
  std::size_t next = 0;
  // After a time-out nothing more is sent. The requests already in flight were sent no later
  // than a time-out ago, so their own time-outs are close: they are still awaited, and the
  // application counts as stopped only when none of them is answered either. One request an
  // application leaves unanswered among answers is a failure of that request alone.
  bool timed_out = peer.connection == nullptr;
  bool answered_after = false;
  auto send_more = [&] {
    while (!timed_out && next < requests.size() && in_flight.size() < kMaxInFlight) {
      // Each request waits no longer than the call it belongs to has left (none once the call
      // is over or Ctrl-C was pressed), and briefly for an application that already let one of
      // the call's requests go unanswered.
      int wait_ms = request_wait_ms(timeout_ms, peer.bus_name);
      if (wait_ms <= 0) break;
      std::size_t index = next++;
      // Answered in order: an unsendable request waits its turn with a null reply.
      in_flight.push_back({index, nullptr});
      DBusMessage* message = message_for(peer, requests[index]);
      DBusPendingCall* pending = nullptr;
      if (message != nullptr &&
          dbus_connection_send_with_reply(peer.connection, message, &pending, wait_ms) == 0)
        pending = nullptr;
      if (message != nullptr) dbus_message_unref(message);
      in_flight.back().pending = pending;
    }
  };
  send_more();
  while (!in_flight.empty()) {
    InFlight oldest = in_flight.front();
    in_flight.pop_front();
    if (oldest.pending == nullptr) {
      take(oldest.index, nullptr);
    } else {
      dbus_pending_call_block(oldest.pending);
      Reply reply{dbus_pending_call_steal_reply(oldest.pending)};
      dbus_pending_call_unref(oldest.pending);
      // libdbus makes the time-out's error reply itself.
      bool unanswered = reply.message == nullptr || is_timeout_reply(reply.message);
      if (unanswered) {
        timed_out = true;
      } else if (timed_out) {
        answered_after = true;
      }
      take(oldest.index, unanswered ? nullptr : reply.message);
    }
    send_more();
  }
  for (; next < requests.size(); ++next) take(next, nullptr);
  return !timed_out || answered_after;
}

}  // namespace pelorix::platform::atspi
