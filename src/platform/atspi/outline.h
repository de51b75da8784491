// The shape of a web browser's tree in one request, so that reading it level by level asks only
// what the shape does not tell.
//
// Collection.GetMatches on an element, descending, with a rule every element matches, lists
// everything below it in the order a walk of the children finds it (each element before what
// lies below it): in Firefox and Chromium, the same elements in the same order as GetChildren
// read level by level, in one request answered inside the browser. What lies between an element
// and its next sibling in that list is its subtree, so once an element's children are read (one
// GetChildren, as always) each child's share of the list is known, and a child with an empty
// share has no children, and one whose share is one element has that one: neither is asked. Two
// more requests name the elements that are not shown and those with states that matter to the
// reading beyond being shown (several lines, children it manages, defunct): every other element's
// states are known without asking it.
//
// The bridge collects its matches in a list it appends to one by one, which costs it time in
// the square of the matches (8,000 in 0.3 s, 40,000 in 9 s): every request asks for at most
// kMaxOutline. A list cut there tells only the shares that end before the cut; what lies past
// it is read as elsewhere. Children that no walk of the listed tree could find in their order
// (the tree changed between the requests, or a bridge that walks differently) end the outline's
// use for the rest of the read, as does a child count that disagrees with what it tells of one of
// the first few elements (the batch checks them); a change the order cannot show is read as the
// list shows it, as with every bulk read, and what a search finds is confirmed live.
#pragma once

#include <atspi/atspi.h>
#include <dbus/dbus.h>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace pelorix::platform::atspi {

inline constexpr dbus_int32_t kMaxOutline = 8000;

// Which of the three requests: everything below, what is not shown, what has one of
// kStatesAskedOneByOne.
enum class OutlinePart : std::int32_t { Everything, NotShown, StatesToAsk };

void append_outline_arguments(DBusMessageIter* args, OutlinePart part);

// An element's share of the list: its own position (-1 for the element the outline was read
// from) and the last position below it (known only where the list reaches its next sibling).
struct Span {
  std::int32_t at = -1;
  std::int32_t end = -1;
  bool end_known = false;
  bool leaf() const { return end_known && end == at; }
};

class Outline {
 public:
  // Takes the reply to one part; false when it is no list of references (the part is then not
  // known, and for Everything the outline is of no use).
  bool take(OutlinePart part, DBusMessage* reply, const std::string& bus_name);
  bool usable() const { return listed_ && consistent_; }
  // The tree does not hold what the outline told of it: it is of no use from now on.
  void distrust() { consistent_ = false; }
  // The span of the element the outline was read from.
  Span root() const;
  // The spans of `children` (in order), the children of the element at `parent`; none for a
  // child the list does not place. A child placed out of order, or not where a walk would find
  // it, makes the outline unusable from then on (and places none).
  std::vector<std::optional<Span>> place(const Span& parent,
                                         const std::vector<std::string>& children);
  // The one child of an element whose share of the list holds one element: nothing else can
  // lie below it.
  std::optional<std::string> only_child(const Span& span) const;
  // Whether the element's states are known from the outline alone, and then whether it is
  // shown (its only state that matters).
  bool knows_states_of(const std::string& path) const;
  bool shown(const std::string& path) const { return !not_shown_.contains(path); }

 private:
  std::unordered_map<std::string, std::int32_t> positions_;
  std::vector<std::string> paths_;  // by position
  std::int32_t size_ = 0;
  bool complete_ = false;
  bool listed_ = false;
  bool consistent_ = true;
  std::unordered_set<std::string> not_shown_;
  std::unordered_set<std::string> states_to_ask_;
  bool not_shown_known_ = false;
  bool states_to_ask_known_ = false;
};

}  // namespace pelorix::platform::atspi
