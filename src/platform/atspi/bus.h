// pelorix's own connection to the accessibility bus, and the accessibles it makes itself.
//
// libatspi, the first time one of its calls hands out an accessible of an application (a
// child, a parent, a relation target, one of the desktop's applications), asks that
// application for a description of its whole tree (Cache.GetItems) and applies the reply
// without checking its shape or its sizes: a reply of another signature crashes the process,
// a child count of 2^31-1 has it allocate 16 GiB. It does so for every application a walk
// passes, not only the one a script works with. So every reference an application sends is
// read here, checked, and made into an accessible whose application object pelorix made
// itself; libatspi only ever asks those accessibles single questions, on this private
// connection, where no events arrive.
#pragma once

#include <atspi/atspi.h>
#include <dbus/dbus.h>

#include <functional>
#include <optional>
#include <string>

#include "platform/accessibility.h"

namespace pelorix::platform::atspi {

// An object on the bus: the connection that serves it and its path.
struct Reference {
  std::string bus_name;
  std::string path;
  bool operator==(const Reference&) const = default;
};

inline constexpr const char* kAccessibleInterface = "org.a11y.atspi.Accessible";
inline constexpr const char* kNullPath = "/org/a11y/atspi/null";
inline constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
inline constexpr const char* kRegistryName = "org.a11y.atspi.Registry";

// The private connection, opened on first use; null when no accessibility bus can be reached.
// A connection that was lost (the bus went away) or inherited over a fork is replaced by a new
// one on the next use.
DBusConnection* accessibility_bus();

// Counts the connections accessibility_bus() has opened: what was announced on an earlier one
// (to the registry, say) is announced again on the one that now answers.
unsigned accessibility_bus_generation();

// An accessible for `object` (+1) that libatspi can ask about without ever meeting its
// application; null for the null reference.
AtspiAccessible* make_accessible(const Reference& object);

// Where an accessible lives.
Reference reference_of(AtspiAccessible* accessible);

// An owned D-Bus message.
class Message {
 public:
  Message() = default;
  explicit Message(DBusMessage* adopted) : message_(adopted) {}
  Message(const Message&) = delete;
  Message& operator=(const Message&) = delete;
  Message(Message&& other) noexcept : message_(other.message_) { other.message_ = nullptr; }
  Message& operator=(Message&& other) noexcept;
  ~Message();
  DBusMessage* get() const { return message_; }

 private:
  DBusMessage* message_ = nullptr;
};

// A method call on `target`, waiting at most kCallTimeoutMs for the reply; `append` adds the
// arguments. The status of an error reply or of no reply at all; on success `reply` holds it.
// `wait_ms`, where given, replaces the standard wait for the reply (kCallTimeoutMs).
::AXError call(const Reference& target, const char* interface, const char* member,
               const std::function<void(DBusMessageIter*)>& append, Message* reply,
               int wait_ms = 0);

// Whether a D-Bus error (by name) says the reply did not come in time.
bool went_unanswered(const char* error_name);

// The status a reply stands for: success for a method return, the error's status for an error
// reply, kAXErrorCannotComplete for none.
::AXError status_of_reply(DBusMessage* reply);

// Where requests about `accessible` go (pipeline.h): its application's bus name and connection.
struct Peer;
Peer peer_of(AtspiAccessible* accessible);

// A property, through org.freedesktop.DBus.Properties.Get: on success `value` is positioned
// on the variant's content, which lives as long as `reply`.
::AXError get_property(const Reference& target, const char* interface, const char* name,
                       Message* reply, DBusMessageIter* value, int wait_ms = 0);

// A string or 32-bit integer property; a value of another type is kAXErrorFailure.
::AXError get_string_property(const Reference& target, const char* interface, const char* name,
                              std::string* out);
::AXError get_int_property(const Reference& target, const char* interface, const char* name,
                           dbus_int32_t* out, int wait_ms = 0);

// The object reference "(so)" at `iter`, or nothing when the value has another shape.
std::optional<Reference> read_reference(DBusMessageIter* iter);

}  // namespace pelorix::platform::atspi
