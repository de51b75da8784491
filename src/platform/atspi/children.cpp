#include "platform/atspi/children.h"

#include <chrono>
#include <set>
#include <string>

#include "platform/atspi/bus.h"
#include "platform/atspi/desktop.h"
#include "platform/atspi/mapping.h"
#include "platform/atspi/match_rule.h"
#include "platform/atspi/pipeline.h"
#include "platform/atspi/reads.h"
#include "platform/atspi/requests.h"
#include "platform/atspi/shown_children.h"

namespace pelorix::platform::atspi {

namespace {

// Applications whose bridge has no Collection interface (GTK 4, Qt), by bus name: they are
// asked for their children one index at a time.
std::set<std::string>& without_collection() {
  static auto* names = new std::set<std::string>();
  return *names;
}

// Collection.GetMatches, without descending, with a rule that asks for the shown state, so
// the application leaves hidden children out itself, in the same call. GTK 3, the toolkit with
// Collection, keeps the closed menus of a menu bar shown; the one menu it hides is a combo box's
// closed list, which goes with its choices.
void append_shown_children_rule(DBusMessageIter* args) {
  append_matches_arguments(args, {kShownState}, ATSPI_Collection_MATCH_ALL, 0, false);
}

// Children the caller is handed: only this application's own elements. The null reference
// stands for no element; an element of another application (or of the desktop) is not one of
// this application's children, and following it would lead a search out of the application.
class Gathered {
 public:
  Gathered(const Reference& parent, std::vector<Owned<AtspiAccessible>>* out)
      : parent_(parent), out_(out) {}
  // kAXErrorCannotComplete when there would be more children than kMaxChildren, or the
  // accessibility bus went away since the reply came (no element can be made on it). Without
  // Collection, each child's role and states tell whether it is hidden (one round trip for
  // both). A child that does not answer is kept: whoever asks it next meets the failure; a
  // destroyed one is left out.
  ::AXError add(const std::optional<Reference>& child, bool filter_hidden) {
    if (!child || child->path == kNullPath || child->bus_name != parent_.bus_name)
      return kAXErrorSuccess;
    if (out_->size() >= kMaxChildren) return kAXErrorCannotComplete;
    Owned<AtspiAccessible> held(make_accessible(*child));
    if (!held) return kAXErrorCannotComplete;
    if (filter_hidden) {
      AtspiRole role = ATSPI_ROLE_INVALID;
      States states;
      ::AXError read = read_role_and_states(held.get(), &role, &states);
      if (read == kAXErrorInvalidUIElement) return kAXErrorSuccess;
      if (read == kAXErrorSuccess && is_hidden(role, states.has(kShownState)))
        return kAXErrorSuccess;
    }
    out_->push_back(std::move(held));
    return kAXErrorSuccess;
  }
  ::AXError fail(::AXError status) {
    out_->clear();
    return status;
  }

 private:
  const Reference& parent_;
  std::vector<Owned<AtspiAccessible>>* out_;
};

// How many children the element claims (-1: its count is no number) and whether it manages its
// descendants, asked at once: one round trip for both.
::AXError read_size(AtspiAccessible* accessible, const Reference& self, dbus_int32_t* count,
                    bool* managed) {
  ::AXError status = kAXErrorSuccess;
  *count = -1;
  *managed = false;
  bool answered = run_pipelined(
      peer_of(accessible),
      {{Request::Kind::ChildCount, self.path}, {Request::Kind::GetState, self.path}},
      kCallTimeoutMs, [&](std::size_t index, DBusMessage* reply) {
        if (status != kAXErrorSuccess) return;
        if (reply == nullptr || dbus_message_get_type(reply) == DBUS_MESSAGE_TYPE_ERROR) {
          status = status_of_reply(reply);
          return;
        }
        std::vector<std::uint32_t> states;
        if (index == 0)
          read_child_count(reply, count);
        else if (read_states(reply, &states))
          *managed = has_state(states, ATSPI_STATE_MANAGES_DESCENDANTS);
      });
  if (!answered) return kAXErrorCannotComplete;
  return status;
}

}  // namespace

bool reads_children_by_collection(AtspiAccessible* accessible) {
  return !without_collection().contains(reference_of(accessible).bus_name);
}

::AXError read_children(AtspiAccessible* accessible, std::vector<Owned<AtspiAccessible>>* out) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kChildrenTimeoutMs);
  Reference self = reference_of(accessible);
  Gathered children(self, out);
  // An element that makes its children as they are asked for, or claims more than can be
  // listed, is read with those on screen (shown_children.h): listing it would have the
  // application make every one.
  dbus_int32_t count = -1;
  bool managed = false;
  if (::AXError status = read_size(accessible, self, &count, &managed); status != kAXErrorSuccess)
    return status;
  if (!lists_all_children(managed, count)) return read_shown_children(accessible, count, out);
  // Most elements are leaves: their count says all, and the round trip it took replaces the
  // listing.
  if (count == 0) return kAXErrorSuccess;
  bool unsupported = false;
  if (!without_collection().contains(self.bus_name)) {
    Message reply;
    ::AXError status =
        call(self, "org.a11y.atspi.Collection", "GetMatches", append_shown_children_rule, &reply);
    DBusMessageIter args;
    DBusMessageIter entries;
    if (status == kAXErrorSuccess && dbus_message_has_signature(reply.get(), "a(so)") != 0 &&
        dbus_message_iter_init(reply.get(), &args) != 0) {
      dbus_message_iter_recurse(&args, &entries);
      for (; dbus_message_iter_get_arg_type(&entries) != DBUS_TYPE_INVALID;
           dbus_message_iter_next(&entries))
        if (::AXError added = children.add(read_reference(&entries), false);
            added != kAXErrorSuccess)
          return children.fail(added);
      return kAXErrorSuccess;
    }
    // A timeout is the answer; asking again would only wait again.
    if (status == kAXErrorCannotComplete) return status;
    // Otherwise the bridge most likely has no Collection (GTK 4 says the method is unknown, Qt
    // that the object path is) or answers it with something else than references: if the
    // element answers for its child count (a vanished one does not), ask this application one
    // index at a time from now on.
    unsupported = true;
  }
  // A count that is no number is a failure; a negative one is no count, and reading it would
  // only run into the time bound.
  if (count < 0) {
    if (::AXError status = get_int_property(self, kAccessibleInterface, "ChildCount", &count);
        status != kAXErrorSuccess)
      return status;
    if (count < 0) return kAXErrorCannotComplete;
  }
  if (unsupported) without_collection().insert(self.bus_name);
  for (dbus_int32_t i = 0; i < count; ++i) {
    if (std::chrono::steady_clock::now() > deadline) return children.fail(kAXErrorCannotComplete);
    Message reply;
    ::AXError status = call(
        self, kAccessibleInterface, "GetChildAtIndex",
        [&](DBusMessageIter* args) { dbus_message_iter_append_basic(args, DBUS_TYPE_INT32, &i); },
        &reply);
    if (status != kAXErrorSuccess) return children.fail(status);
    DBusMessageIter args;
    std::optional<Reference> child;
    if (dbus_message_iter_init(reply.get(), &args) != 0 &&
        dbus_message_has_signature(reply.get(), "(so)") != 0)
      child = read_reference(&args);
    if (::AXError added = children.add(child, true); added != kAXErrorSuccess)
      return children.fail(added);
  }
  return kAXErrorSuccess;
}

}  // namespace pelorix::platform::atspi
