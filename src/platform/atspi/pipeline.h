// Many AT-SPI requests to one application in flight at once, on the connection libatspi uses
// for it (the direct connection where the application offers one). An application answers its
// requests in order on its main loop; with the next request already queued it answers without
// sleeping and waking in between, several times faster than one request per round trip.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

typedef struct DBusConnection DBusConnection;
typedef struct DBusMessage DBusMessage;

namespace pelorix::platform::atspi {

// At most this many requests wait for their replies at once: enough to keep the application
// busy (more made no difference when measured), few enough that one batch does not hold the
// application's main loop for long.
inline constexpr std::size_t kMaxInFlight = 128;

struct Request {
  enum class Kind : std::uint8_t {
    GetRole,        // org.a11y.atspi.Accessible.GetRole
    GetState,       // org.a11y.atspi.Accessible.GetState
    GetChildren,    // org.a11y.atspi.Accessible.GetChildren
    Name,           // the Accessible's Name property
    AccessibleId,   // the Accessible's AccessibleId property
    ScreenExtents,  // org.a11y.atspi.Component.GetExtents in screen coordinates
    CacheItems,     // org.a11y.atspi.Cache.GetItems (the path is ignored)
    ChildCount,     // the Accessible's ChildCount property
    ChildAtIndex,   // org.a11y.atspi.Accessible.GetChildAtIndex(index)
    TableCell,      // org.a11y.atspi.Table.GetAccessibleAt(index, column)
    Outline,        // org.a11y.atspi.Collection.GetMatches, descending (index: an OutlinePart)
    Properties,     // every property of the Accessible in one reply (never to Qt: see below)
  };
  Kind kind;
  std::string path;
  std::int32_t index = 0;   // ChildAtIndex; TableCell: the row; Outline: the part
  std::int32_t column = 0;  // TableCell only
};

// Where requests go: the application's bus name and the connection to reach it by.
struct Peer {
  DBusConnection* connection = nullptr;
  std::string bus_name;
};

// Sends `requests` to `peer`, at most kMaxInFlight in flight, and hands each reply (borrowed;
// an error reply for a failed call) to `take` with the request's index, in order. A request
// that cannot be sent, or is not answered within `timeout_ms`, gets a null reply. After the
// first time-out nothing more is sent (those requests get a null reply too), so a batch waits
// about one time-out at most, not one per request. Returns false when the application is taken
// to be stopped: a request timed out and none of those still in flight was answered.
bool run_pipelined(const Peer& peer, const std::vector<Request>& requests, int timeout_ms,
                   const std::function<void(std::size_t, DBusMessage*)>& take);

// Whether a reply says that the application did not answer in time.
bool is_timeout_reply(DBusMessage* reply);

// Reading the replies: whether `reply` is a method return with exactly this signature.
bool is_return(DBusMessage* reply, const char* signature);
// GetState's bit set "au", its first kMaxStateWords words; false when the reply is no such set.
bool read_states(DBusMessage* reply, std::vector<std::uint32_t>* out);
bool has_state(const std::vector<std::uint32_t>& words, unsigned state);
// The ChildCount property's reply; false when it is no count.
bool read_child_count(DBusMessage* reply, std::int32_t* count);

}  // namespace pelorix::platform::atspi
