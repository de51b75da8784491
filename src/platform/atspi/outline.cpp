#include "platform/atspi/outline.h"

#include <cstring>

#include "platform/atspi/mapping.h"
#include "platform/atspi/match_rule.h"

namespace pelorix::platform::atspi {

void append_outline_arguments(DBusMessageIter* args, OutlinePart part) {
  switch (part) {
    case OutlinePart::Everything:
      // No states asked: every element has all of none.
      append_matches_arguments(args, {}, ATSPI_Collection_MATCH_ALL, kMaxOutline, true);
      return;
    case OutlinePart::NotShown:
      append_matches_arguments(args, {kShownState}, ATSPI_Collection_MATCH_NONE, kMaxOutline, true);
      return;
    case OutlinePart::StatesToAsk:
      // The states the reading looks at besides being shown: a multi-line text field is a text
      // area, an element managing its descendants is read with its children on screen, a
      // defunct one is left to the live read.
      append_matches_arguments(
          args, {ATSPI_STATE_MULTI_LINE, ATSPI_STATE_MANAGES_DESCENDANTS, ATSPI_STATE_DEFUNCT},
          ATSPI_Collection_MATCH_ANY, kMaxOutline, true);
      return;
  }
}

bool Outline::take(OutlinePart part, DBusMessage* reply, const std::string& bus_name) {
  if (reply == nullptr || dbus_message_get_type(reply) != DBUS_MESSAGE_TYPE_METHOD_RETURN ||
      std::strcmp(dbus_message_get_signature(reply), "a(so)") != 0)
    return false;
  DBusMessageIter args;
  DBusMessageIter items;
  dbus_message_iter_init(reply, &args);
  dbus_message_iter_recurse(&args, &items);
  std::vector<std::string> paths;
  std::int32_t listed = 0;
  for (; dbus_message_iter_get_arg_type(&items) == DBUS_TYPE_STRUCT;
       dbus_message_iter_next(&items)) {
    ++listed;
    DBusMessageIter field;
    dbus_message_iter_recurse(&items, &field);
    const char* name = nullptr;
    const char* path = nullptr;
    dbus_message_iter_get_basic(&field, &name);
    dbus_message_iter_next(&field);
    dbus_message_iter_get_basic(&field, &path);
    // Another application's element is none of this one's (the children reads leave it out
    // too): what would lie below it is not in this list.
    if (name != nullptr && path != nullptr && bus_name == name) paths.emplace_back(path);
  }
  bool cut = listed >= kMaxOutline;
  switch (part) {
    case OutlinePart::Everything:
      positions_.clear();
      for (const std::string& path : paths) {
        auto position = static_cast<std::int32_t>(positions_.size());
        // An element listed twice is reachable twice: the walk would meet it twice, in two
        // places the outline cannot tell apart.
        if (!positions_.try_emplace(path, position).second) return false;
      }
      paths_ = std::move(paths);
      size_ = static_cast<std::int32_t>(positions_.size());
      complete_ = !cut && size_ == listed;
      listed_ = true;
      return true;
    case OutlinePart::NotShown:
      not_shown_.insert(paths.begin(), paths.end());
      not_shown_known_ = !cut;
      return true;
    case OutlinePart::StatesToAsk:
      states_to_ask_.insert(paths.begin(), paths.end());
      states_to_ask_known_ = !cut;
      return true;
  }
  return false;
}

Span Outline::root() const {
  return Span{-1, size_ - 1, complete_};
}

std::vector<std::optional<Span>> Outline::place(const Span& parent,
                                                const std::vector<std::string>& children) {
  std::vector<std::optional<Span>> spans(children.size());
  if (!usable() || children.empty()) return spans;
  std::vector<std::int32_t> at;
  for (const std::string& child : children) {
    auto found = positions_.find(child);
    if (found == positions_.end()) break;  // past the cut, and so are the ones after it
    at.push_back(found->second);
  }
  auto inconsistent = [&] {
    consistent_ = false;
    return std::vector<std::optional<Span>>(children.size());
  };
  // A walk finds the first child right after its parent, the others in order, all within the
  // parent's share; a complete list holds them all.
  if (at.empty()) return (complete_ || parent.at + 1 < size_) ? inconsistent() : spans;
  if (at.size() < children.size() && complete_) return inconsistent();
  if (at.front() != parent.at + 1) return inconsistent();
  for (std::size_t i = 0; i < at.size(); ++i)
    if ((i > 0 && at[i] <= at[i - 1]) || (parent.end_known && at[i] > parent.end))
      return inconsistent();
  for (std::size_t i = 0; i < at.size(); ++i) {
    Span& span = spans[i].emplace();
    span.at = at[i];
    if (i + 1 < at.size()) {
      span.end = at[i + 1] - 1;
      span.end_known = true;
    } else if (i + 1 == children.size()) {
      span.end = parent.end;
      span.end_known = parent.end_known;
    }
  }
  return spans;
}

std::optional<std::string> Outline::only_child(const Span& span) const {
  if (!usable() || !span.end_known || span.end != span.at + 1 || span.end >= size_)
    return std::nullopt;
  return paths_[static_cast<std::size_t>(span.end)];
}

bool Outline::knows_states_of(const std::string& path) const {
  return usable() && not_shown_known_ && states_to_ask_known_ && positions_.contains(path) &&
         !states_to_ask_.contains(path);
}

}  // namespace pelorix::platform::atspi
