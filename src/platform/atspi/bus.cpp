#include "platform/atspi/bus.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>

#include "platform/atspi/desktop.h"
#include "platform/atspi/mapping.h"
#include "platform/atspi/pipeline.h"
#include "platform/call_bounds.h"

namespace pelorix::platform::atspi {
namespace {

struct ErrorHolder {
  DBusError error;
  ErrorHolder() { dbus_error_init(&error); }
  ErrorHolder(const ErrorHolder&) = delete;
  ErrorHolder& operator=(const ErrorHolder&) = delete;
  ~ErrorHolder() { dbus_error_free(&error); }
  bool set() const { return dbus_error_is_set(&error) != 0; }
  std::string text() const {
    return std::string(error.name != nullptr ? error.name : "") + ": " +
           (error.message != nullptr ? error.message : "");
  }
};

// The accessibility bus's address: the one the environment names, else the one the session
// bus's org.a11y.Bus service gives.
std::string bus_address() {
  if (const char* given = std::getenv("AT_SPI_BUS_ADDRESS"); given != nullptr && *given != '\0')
    return given;
  ErrorHolder error;
  DBusConnection* session = dbus_bus_get_private(DBUS_BUS_SESSION, &error.error);
  if (session == nullptr) return "";
  dbus_connection_set_exit_on_disconnect(session, FALSE);
  std::string address;
  Message request(
      dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress"));
  if (request.get() != nullptr) {
    Message reply(dbus_connection_send_with_reply_and_block(session, request.get(), kCallTimeoutMs,
                                                            &error.error));
    const char* text = nullptr;
    if (reply.get() != nullptr &&
        dbus_message_get_args(reply.get(), nullptr, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID))
      address = text;
  }
  dbus_connection_close(session);
  dbus_connection_unref(session);
  return address;
}

// Messages nobody waits for (events sent to this connection by name, replies that came after
// their time-out) are dropped as they arrive, so none piles up.
void drop_unclaimed(DBusConnection* connection) {
  while (dbus_connection_dispatch(connection) == DBUS_DISPATCH_DATA_REMAINS) {
  }
}

// libatspi's application objects for the bus names pelorix has seen, made here; never freed,
// since libatspi closes the connection of an application object that goes away.
std::map<std::string, AtspiApplication*>& known_applications() {
  static auto* known = new std::map<std::string, AtspiApplication*>();
  return *known;
}

AtspiApplication* application_on(const std::string& bus_name, DBusConnection* connection) {
  auto* known = &known_applications();
  if (auto found = known->find(bus_name); found != known->end()) return found->second;
  auto* application = static_cast<AtspiApplication*>(g_object_new(ATSPI_TYPE_APPLICATION, nullptr));
  application->bus_name = g_strdup(bus_name.c_str());
  application->bus = dbus_connection_ref(connection);
  application->hash = g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_object_unref);
  application->cache = ATSPI_CACHE_NONE;
  known->emplace(bus_name, application);
  return application;
}

unsigned opened_connections = 0;

}  // namespace

bool went_unanswered(const char* error_name) {
  return error_name != nullptr && (std::strcmp(error_name, DBUS_ERROR_NO_REPLY) == 0 ||
                                   std::strcmp(error_name, DBUS_ERROR_TIMEOUT) == 0 ||
                                   std::strcmp(error_name, DBUS_ERROR_TIMED_OUT) == 0);
}

::AXError status_of_reply(DBusMessage* reply) {
  if (reply == nullptr) return kAXErrorCannotComplete;
  if (dbus_message_get_type(reply) != DBUS_MESSAGE_TYPE_ERROR) return kAXErrorSuccess;
  const char* name = dbus_message_get_error_name(reply);
  const char* text = nullptr;
  dbus_message_get_args(reply, nullptr, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
  return status_of_text(std::string(name != nullptr ? name : "") + ": " + (text ? text : ""));
}

Peer peer_of(AtspiAccessible* accessible) {
  const AtspiObject& object = accessible->parent;
  return Peer{object.app != nullptr ? object.app->bus : nullptr,
              object.app != nullptr && object.app->bus_name != nullptr ? object.app->bus_name : ""};
}

Message& Message::operator=(Message&& other) noexcept {
  if (this != &other) {
    if (message_ != nullptr) dbus_message_unref(message_);
    message_ = other.message_;
    other.message_ = nullptr;
  }
  return *this;
}

Message::~Message() {
  if (message_ != nullptr) dbus_message_unref(message_);
}

unsigned accessibility_bus_generation() {
  return opened_connections;
}

DBusConnection* accessibility_bus() {
  static DBusConnection* connection = nullptr;
  static pid_t owner = 0;
  bool forked = connection != nullptr && owner != getpid();
  if (forked) {
    // A forked child shares its parent's socket: the two would read each other's replies.
    // The child leaves that connection alone (closing or releasing it would close the
    // socket under the parent's reads too) and opens one of its own.
    connection = nullptr;
  }
  if (connection != nullptr && dbus_connection_get_is_connected(connection)) return connection;
  if (connection != nullptr) dbus_connection_unref(connection);
  connection = nullptr;
  std::string address = bus_address();
  if (address.empty()) return nullptr;
  ErrorHolder error;
  DBusConnection* opened = dbus_connection_open_private(address.c_str(), &error.error);
  if (opened == nullptr) return nullptr;
  dbus_connection_set_exit_on_disconnect(opened, FALSE);
  if (dbus_bus_register(opened, &error.error) == 0) {
    dbus_connection_close(opened);
    dbus_connection_unref(opened);
    return nullptr;
  }
  connection = opened;
  owner = getpid();
  ++opened_connections;
  // Accessibles made before (on a lost connection, or in the parent before a fork) ask their
  // questions on the new one.
  for (auto& [name, application] : known_applications()) {
    if (application->bus == opened) continue;
    if (application->bus != nullptr && !forked) dbus_connection_unref(application->bus);
    application->bus = dbus_connection_ref(opened);
  }
  return connection;
}

AtspiAccessible* make_accessible(const Reference& object) {
  if (object.path == kNullPath) return nullptr;
  DBusConnection* connection = accessibility_bus();
  if (connection == nullptr) return nullptr;
  auto* accessible = static_cast<AtspiAccessible*>(g_object_new(ATSPI_TYPE_ACCESSIBLE, nullptr));
  accessible->parent.app =
      static_cast<AtspiApplication*>(g_object_ref(application_on(object.bus_name, connection)));
  accessible->parent.path = g_strdup(object.path.c_str());
  return accessible;
}

Reference reference_of(AtspiAccessible* accessible) {
  const AtspiObject& object = accessible->parent;
  Reference where;
  if (object.app != nullptr && object.app->bus_name != nullptr)
    where.bus_name = object.app->bus_name;
  if (object.path != nullptr) where.path = object.path;
  return where;
}

::AXError call(const Reference& target, const char* interface, const char* member,
               const std::function<void(DBusMessageIter*)>& append, Message* reply, int wait_ms) {
  DBusConnection* connection = accessibility_bus();
  if (connection == nullptr) return kAXErrorCannotComplete;
  // libdbus aborts the process when asked to address a name or path that is not well formed.
  if (dbus_validate_bus_name(target.bus_name.c_str(), nullptr) == 0 ||
      dbus_validate_path(target.path.c_str(), nullptr) == 0)
    return kAXErrorInvalidUIElement;
  // A call that must stop sends nothing more; an application that let one of the call's
  // requests go unanswered is not waited for the full limit again within the call.
  wait_ms = request_wait_ms(wait_ms > 0 ? wait_ms : kCallTimeoutMs, target.bus_name);
  if (wait_ms == 0) return kAXErrorCannotComplete;
  Message request(dbus_message_new_method_call(target.bus_name.c_str(), target.path.c_str(),
                                               interface, member));
  if (request.get() == nullptr) return kAXErrorFailure;
  if (append) {
    DBusMessageIter args;
    dbus_message_iter_init_append(request.get(), &args);
    append(&args);
  }
  ErrorHolder error;
  *reply = Message(
      dbus_connection_send_with_reply_and_block(connection, request.get(), wait_ms, &error.error));
  drop_unclaimed(connection);
  if (reply->get() == nullptr && error.set() && went_unanswered(error.error.name))
    note_unanswered(target.bus_name);
  if (reply->get() == nullptr) return error.set() ? status_of_text(error.text()) : kAXErrorFailure;
  return kAXErrorSuccess;
}

::AXError get_property(const Reference& target, const char* interface, const char* name,
                       Message* reply, DBusMessageIter* value, int wait_ms) {
  ::AXError status = call(
      target, "org.freedesktop.DBus.Properties", "Get",
      [&](DBusMessageIter* args) {
        dbus_message_iter_append_basic(args, DBUS_TYPE_STRING, &interface);
        dbus_message_iter_append_basic(args, DBUS_TYPE_STRING, &name);
      },
      reply, wait_ms);
  if (status != kAXErrorSuccess) return status;
  DBusMessageIter args;
  if (dbus_message_has_signature(reply->get(), "v") == 0 ||
      dbus_message_iter_init(reply->get(), &args) == 0)
    return kAXErrorFailure;
  dbus_message_iter_recurse(&args, value);
  return kAXErrorSuccess;
}

::AXError get_string_property(const Reference& target, const char* interface, const char* name,
                              std::string* out) {
  Message reply;
  DBusMessageIter value;
  if (::AXError status = get_property(target, interface, name, &reply, &value);
      status != kAXErrorSuccess)
    return status;
  if (dbus_message_iter_get_arg_type(&value) != DBUS_TYPE_STRING) return kAXErrorFailure;
  const char* text = nullptr;
  dbus_message_iter_get_basic(&value, &text);
  *out = text != nullptr ? text : "";
  return kAXErrorSuccess;
}

::AXError get_int_property(const Reference& target, const char* interface, const char* name,
                           dbus_int32_t* out, int wait_ms) {
  Message reply;
  DBusMessageIter value;
  if (::AXError status = get_property(target, interface, name, &reply, &value, wait_ms);
      status != kAXErrorSuccess)
    return status;
  if (dbus_message_iter_get_arg_type(&value) != DBUS_TYPE_INT32) return kAXErrorFailure;
  dbus_message_iter_get_basic(&value, out);
  return kAXErrorSuccess;
}

std::optional<Reference> read_reference(DBusMessageIter* iter) {
  if (dbus_message_iter_get_arg_type(iter) != DBUS_TYPE_STRUCT) return std::nullopt;
  DBusMessageIter fields;
  dbus_message_iter_recurse(iter, &fields);
  if (dbus_message_iter_get_arg_type(&fields) != DBUS_TYPE_STRING) return std::nullopt;
  const char* name = nullptr;
  dbus_message_iter_get_basic(&fields, &name);
  dbus_message_iter_next(&fields);
  if (dbus_message_iter_get_arg_type(&fields) != DBUS_TYPE_OBJECT_PATH) return std::nullopt;
  const char* path = nullptr;
  dbus_message_iter_get_basic(&fields, &path);
  if (dbus_message_iter_next(&fields) != 0) return std::nullopt;
  if (name == nullptr || path == nullptr || dbus_validate_bus_name(name, nullptr) == 0)
    return std::nullopt;
  return Reference{name, path};
}

}  // namespace pelorix::platform::atspi
