#include "platform/atspi/shown_children.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/atspi/bus.h"
#include "platform/atspi/children.h"
#include "platform/atspi/desktop.h"
#include "platform/atspi/mapping.h"
#include "platform/atspi/pipeline.h"
#include "platform/atspi/requests.h"

namespace pelorix::platform::atspi {
namespace {

constexpr const char* kComponent = "org.a11y.atspi.Component";
constexpr const char* kTable = "org.a11y.atspi.Table";
constexpr dbus_uint32_t kScreenCoordinates = 0;  // ATSPI_COORD_TYPE_SCREEN

struct Cell {
  dbus_int32_t row = 0;
  dbus_int32_t column = 0;
};

// A call answered with one 32-bit integer.
::AXError int_call(const Reference& target, const char* interface, const char* member,
                   const std::function<void(DBusMessageIter*)>& append, dbus_int32_t* out) {
  Message reply;
  if (::AXError status = call(target, interface, member, append, &reply); status != kAXErrorSuccess)
    return status;
  if (dbus_message_get_args(reply.get(), nullptr, DBUS_TYPE_INT32, out, DBUS_TYPE_INVALID) == 0)
    return kAXErrorFailure;
  return kAXErrorSuccess;
}

std::function<void(DBusMessageIter*)> with_int(dbus_int32_t value) {
  return [value](DBusMessageIter* args) {
    dbus_message_iter_append_basic(args, DBUS_TYPE_INT32, &value);
  };
}

// The element's own child at a point of the screen (nullopt with kAXErrorSuccess: none).
::AXError child_at(const Reference& self, dbus_int32_t x, dbus_int32_t y,
                   std::optional<Reference>* out) {
  Message reply;
  ::AXError status = call(
      self, kComponent, "GetAccessibleAtPoint",
      [&](DBusMessageIter* args) {
        dbus_message_iter_append_basic(args, DBUS_TYPE_INT32, &x);
        dbus_message_iter_append_basic(args, DBUS_TYPE_INT32, &y);
        dbus_message_iter_append_basic(args, DBUS_TYPE_UINT32, &kScreenCoordinates);
      },
      &reply);
  if (status != kAXErrorSuccess) return status;
  DBusMessageIter args;
  if (dbus_message_has_signature(reply.get(), "(so)") == 0 ||
      dbus_message_iter_init(reply.get(), &args) == 0)
    return kAXErrorFailure;
  *out = read_reference(&args);
  if (*out && ((*out)->bus_name != self.bus_name || (*out)->path == kNullPath)) out->reset();
  return kAXErrorSuccess;
}

// Where a child sits in the element's table.
::AXError place_of(const Reference& self, const Reference& child, Cell* out) {
  dbus_int32_t index = -1;
  if (::AXError status = int_call(child, kAccessibleInterface, "GetIndexInParent", {}, &index);
      status != kAXErrorSuccess)
    return status;
  if (index < 0) return kAXErrorFailure;
  if (::AXError status = int_call(self, kTable, "GetRowAtIndex", with_int(index), &out->row);
      status != kAXErrorSuccess)
    return status;
  if (::AXError status = int_call(self, kTable, "GetColumnAtIndex", with_int(index), &out->column);
      status != kAXErrorSuccess)
    return status;
  return out->row >= 0 && out->column >= 0 ? kAXErrorSuccess : kAXErrorFailure;
}

// The cells from the top left to the bottom right corner of the element's area on screen;
// kAXErrorFailure where it has no such area or no table to place them in.
::AXError visible_cells(const Reference& self, Cell* first, Cell* last) {
  Message reply;
  ::AXError status = call(
      self, kComponent, "GetExtents",
      [](DBusMessageIter* args) {
        dbus_message_iter_append_basic(args, DBUS_TYPE_UINT32, &kScreenCoordinates);
      },
      &reply);
  if (status != kAXErrorSuccess) return status;
  DBusMessageIter args;
  DBusMessageIter field;
  if (dbus_message_has_signature(reply.get(), "(iiii)") == 0 ||
      dbus_message_iter_init(reply.get(), &args) == 0)
    return kAXErrorFailure;
  dbus_message_iter_recurse(&args, &field);
  dbus_int32_t box[4] = {0, 0, 0, 0};
  for (dbus_int32_t& number : box) {
    dbus_message_iter_get_basic(&field, &number);
    dbus_message_iter_next(&field);
  }
  if (box[2] <= 2 || box[3] <= 2) return kAXErrorFailure;
  // One pixel inside each corner: the corner pixel itself may belong to a border.
  const std::int64_t left = std::int64_t{box[0]} + 1;
  const std::int64_t top = std::int64_t{box[1]} + 1;
  const std::int64_t right = std::int64_t{box[0]} + box[2] - 2;
  const std::int64_t bottom = std::int64_t{box[1]} + box[3] - 2;
  if (left > INT32_MAX || top > INT32_MAX || right > INT32_MAX || bottom > INT32_MAX)
    return kAXErrorFailure;
  std::optional<Reference> corner;
  for (auto [x, y, cell] : {std::tuple{left, top, first}, std::tuple{right, bottom, last}}) {
    status = child_at(self, static_cast<dbus_int32_t>(x), static_cast<dbus_int32_t>(y), &corner);
    if (status != kAXErrorSuccess) return status;
    if (!corner) return kAXErrorFailure;
    if (status = place_of(self, *corner, cell); status != kAXErrorSuccess) return status;
  }
  return first->row <= last->row && first->column <= last->column ? kAXErrorSuccess
                                                                  : kAXErrorFailure;
}

// The replies to `requests`, each a reference "(so)", as the application's own elements.
::AXError gather(AtspiAccessible* accessible, const Reference& self,
                 const std::vector<Request>& requests, std::vector<Owned<AtspiAccessible>>* out) {
  std::vector<Owned<AtspiAccessible>> found;
  bool answered = run_pipelined(
      peer_of(accessible), requests, kCallTimeoutMs, [&](std::size_t, DBusMessage* reply) {
        DBusMessageIter args;
        if (reply == nullptr || dbus_message_has_signature(reply, "(so)") == 0 ||
            dbus_message_iter_init(reply, &args) == 0)
          return;
        auto child = read_reference(&args);
        if (!child || child->bus_name != self.bus_name || child->path == kNullPath) return;
        if (Owned<AtspiAccessible> held(make_accessible(*child)); held)
          found.push_back(std::move(held));
      });
  if (!answered) return kAXErrorCannotComplete;
  *out = std::move(found);
  return kAXErrorSuccess;
}

}  // namespace

bool lists_all_children(bool manages_descendants, dbus_int32_t count) {
  return !manages_descendants && static_cast<std::size_t>(std::max(count, 0)) <= kMaxChildren;
}

::AXError read_shown_children(AtspiAccessible* accessible, dbus_int32_t count,
                              std::vector<Owned<AtspiAccessible>>* out) {
  out->clear();
  Reference self = reference_of(accessible);
  // Which way: an element without Table or Component answers their calls with errors that
  // read as a vanished element (UnknownMethod); asking for its interfaces tells without them.
  bool placed = false;
  {
    Message reply;
    ::AXError status = call(self, kAccessibleInterface, "GetInterfaces", {}, &reply);
    if (status != kAXErrorSuccess) return status;
    bool table = false;
    bool component = false;
    DBusMessageIter args;
    DBusMessageIter names;
    if (dbus_message_has_signature(reply.get(), "as") != 0 &&
        dbus_message_iter_init(reply.get(), &args) != 0) {
      dbus_message_iter_recurse(&args, &names);
      for (; dbus_message_iter_get_arg_type(&names) == DBUS_TYPE_STRING;
           dbus_message_iter_next(&names)) {
        const char* name = nullptr;
        dbus_message_iter_get_basic(&names, &name);
        table = table || (name != nullptr && std::string_view(name) == kTable);
        component = component || (name != nullptr && std::string_view(name) == kComponent);
      }
    }
    placed = table && component;
  }
  Cell first;
  Cell last;
  ::AXError status = placed ? visible_cells(self, &first, &last) : kAXErrorFailure;
  // An application that does not answer does not answer the next question either.
  if (status == kAXErrorCannotComplete) return status;
  std::vector<Request> requests;
  if (status == kAXErrorSuccess) {
    // Wide enough that stepping past the last row or column of a claimed INT32_MAX is no
    // overflow.
    for (std::int64_t row = first.row; row <= last.row && requests.size() < kMaxShownChildren;
         ++row)
      for (std::int64_t column = first.column;
           column <= last.column && requests.size() < kMaxShownChildren; ++column)
        requests.push_back({Request::Kind::TableCell, self.path, static_cast<dbus_int32_t>(row),
                            static_cast<dbus_int32_t>(column)});
    return gather(accessible, self, requests, out);
  }
  const auto first_ones =
      std::min<std::size_t>(static_cast<std::size_t>(std::max(count, 0)), kMaxFirstChildren);
  for (std::size_t i = 0; i < first_ones; ++i)
    requests.push_back({Request::Kind::ChildAtIndex, self.path, static_cast<dbus_int32_t>(i)});
  std::vector<Owned<AtspiAccessible>> children;
  if (status = gather(accessible, self, requests, &children); status != kAXErrorSuccess)
    return status;
  // Hidden children drop out, as in every children read.
  for (Owned<AtspiAccessible>& child : children) {
    AtspiRole role = ATSPI_ROLE_INVALID;
    States states;
    ::AXError read = read_role_and_states(child.get(), &role, &states);
    if (read == kAXErrorInvalidUIElement) continue;
    if (read == kAXErrorSuccess && is_hidden(role, states.has(kShownState))) continue;
    out->push_back(std::move(child));
  }
  return kAXErrorSuccess;
}

}  // namespace pelorix::platform::atspi
