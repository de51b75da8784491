#include "sync/heuristic_sync.h"

#include <vector>

#include "accessibility/primitives.h"
#include "platform/call_bounds.h"
#include "platform/read_scope.h"

namespace pelorix::sync {
namespace {

constexpr std::uint8_t kStringEnd = 0xFF;

using accessibility::AttributeName;
using accessibility::has_type;

// The attributes every element is asked for, named once per fingerprint rather than once per
// read.
struct HashedAttributes {
  AttributeName role{"AXRole"};
  AttributeName title{"AXTitle"};
  AttributeName identifier{"AXIdentifier"};
  AttributeName position{"AXPosition"};
  AttributeName size{"AXSize"};
  AttributeName children{"AXChildren"};
};

// The attribute as text; one that holds no string counts as unreadable.
Result<std::string> string_attribute(AXUIElementRef element, const AttributeName& name) {
  auto value = accessibility::get_attribute(element, name);
  if (!value) return std::move(value).error();
  if (!has_type(value->get(), CFStringGetTypeID()))
    return AXError(AXErrorKind::MacOSApiError, std::string(name.text()) + " is not a string");
  // A text that cannot be fully expressed in UTF-8 converts up to that point.
  return accessibility::cf_string_to_string(static_cast<CFStringRef>(value->get())).value();
}

void feed_string(AXUIElementRef element, const AttributeName& name, SipHasher13& hasher) {
  auto text = string_attribute(element, name);
  if (!text) return;
  hasher.write(text->data(), text->size());
  hasher.write_u8(kStringEnd);
}

// Only whether a geometry attribute can be read counts: moving or resizing an element is not
// activity worth waiting for, but gaining or losing a frame is.
void feed_geometry(AXUIElementRef element, const AttributeName& name, SipHasher13& hasher) {
  if (!accessibility::get_attribute(element, name)) return;
  hasher.write_u32_le(0);
  hasher.write_u32_le(0);
}

void feed_element(AXUIElementRef element, const HashedAttributes& names, SipHasher13& hasher,
                  unsigned depth, std::size_t& budget) {
  if (depth > kMaxHashDepth || budget == 0 || platform::call_stopped()) return;
  --budget;
  feed_string(element, names.role, hasher);
  feed_string(element, names.title, hasher);
  feed_string(element, names.identifier, hasher);
  feed_geometry(element, names.position, hasher);
  feed_geometry(element, names.size, hasher);

  auto children = accessibility::get_attribute(element, names.children);
  if (!children || !has_type(children->get(), CFArrayGetTypeID())) return;
  // The array is held until every child is hashed: the child handles are borrowed from it.
  auto array = static_cast<CFArrayRef>(children->get());
  CFIndex count = CFArrayGetCount(array);
  hasher.write_u64_le(static_cast<std::uint64_t>(count));
  // The deepest level feeds how many children it has, but the children themselves nothing.
  if (depth == kMaxHashDepth) return;
  for (CFIndex i = 0; i < count; ++i) {
    CFTypeRef child = CFArrayGetValueAtIndex(array, i);
    // An entry that is no element cannot be asked anything (the platform's calls on other
    // objects are undefined); it contributes nothing, like an element none of whose attributes
    // can be read. It still counts among the children.
    if (!accessibility::is_element(child)) continue;
    feed_element(static_cast<AXUIElementRef>(child), names, hasher, depth + 1, budget);
    if (budget == 0) return;
  }
}

// Asks for everything the hash reads, a whole level of the tree at a time, and forgets the
// answers. Where the reads are batched, each level is then read in a few pipelined rounds and
// the depth-first hash after it is answered from the batch. Without this pass the hash's own
// depth-first order would read the tree one small family at a time (the cells of one table
// row, then the next row's), each a round trip to the application: on a web page of a few
// thousand elements, seconds instead of a fraction of one.
void read_ahead(AXUIElementRef root, const HashedAttributes& names) {
  std::vector<CFRef<CFTypeRef>> held;  // the children arrays, whose elements are borrowed
  std::vector<AXUIElementRef> level{root};
  std::size_t budget = kMaxHashElements;
  for (unsigned depth = 0; depth <= kMaxHashDepth && !level.empty(); ++depth) {
    std::vector<AXUIElementRef> next;
    for (AXUIElementRef element : level) {
      if (budget == 0 || platform::call_stopped()) return;
      --budget;
      for (const AttributeName* name :
           {&names.role, &names.title, &names.identifier, &names.position, &names.size})
        (void)accessibility::get_attribute(element, *name);
      auto children = accessibility::get_attribute(element, names.children);
      if (!children || !has_type(children->get(), CFArrayGetTypeID())) continue;
      if (depth == kMaxHashDepth) continue;
      auto array = static_cast<CFArrayRef>(children->get());
      for (CFIndex i = 0, count = CFArrayGetCount(array); i < count; ++i) {
        CFTypeRef child = CFArrayGetValueAtIndex(array, i);
        if (accessibility::is_element(child)) next.push_back(static_cast<AXUIElementRef>(child));
      }
      held.push_back(std::move(*children));
    }
    level = std::move(next);
  }
}

}  // namespace

std::uint64_t HeuristicSync::hash_tree() const {
  SipHasher13 hasher(0, 0);
  hasher.write_u32_le(static_cast<std::uint32_t>(pid));
  // One fingerprint is one call: its reads may be batched, and nothing outlives it.
  platform::ReadScope scope(app_element, std::nullopt, platform::Geometry::PresenceOnly);
  std::size_t budget = kMaxHashElements;
  HashedAttributes names;
  if (scope.batched()) read_ahead(app_element, names);
  feed_element(app_element, names, hasher, 0, budget);
  return hasher.finish();
}

}  // namespace pelorix::sync
