#include "app/find_all.h"

#include <deque>
#include <utility>

#include "accessibility/primitives.h"
#include "app/search.h"
#include "app/tree_walk.h"
#include "platform/read_scope.h"

namespace pelorix {
namespace {

bool contains_text(AXUIElementRef element, std::string_view attribute, std::string_view wanted) {
  auto text = accessibility::get_string_attribute_value(element, attribute);
  return text && text->find(wanted) != std::string::npos;
}

// Batched values were read after the walk began, not each at the moment of its read: what is
// handed back must still match now.
template <class Test>
std::vector<ElementHandle> confirmed(std::vector<ElementHandle> found, platform::ReadScope& scope,
                                     Test still_matches) {
  if (!scope.batched()) return found;
  scope.close();
  std::vector<ElementHandle> kept;
  kept.reserve(found.size());
  for (ElementHandle& element : found)
    if (still_matches(element.get())) kept.push_back(std::move(element));
  return kept;
}

// One level of the depth-first walk: a list of siblings and the next one to visit.
struct Level {
  std::vector<ElementHandle> elements;
  std::size_t next = 0;
};

}  // namespace

std::vector<ElementHandle> find_all_matching(AXUIElementRef root, const SearchCriteria& criteria) {
  platform::ReadScope scope(root);
  std::vector<ElementHandle> found;
  if (element_matches(root, criteria)) found.push_back(ElementHandle::retain(root));
  TreeWalk walk(root);
  std::deque<ElementHandle> queue;
  for (ElementHandle& child : walk.children_of(root)) queue.push_back(std::move(child));
  while (!queue.empty()) {
    ElementHandle element = std::move(queue.front());
    queue.pop_front();
    // Tested before its children are read, as the find operations do: the reads go in the
    // order a backend that batches them expects.
    bool matches = element_matches(element.get(), criteria);
    for (ElementHandle& child : walk.children_of(element.get())) queue.push_back(std::move(child));
    if (matches) found.push_back(std::move(element));
  }
  return confirmed(std::move(found), scope,
                   [&](AXUIElementRef element) { return element_matches(element, criteria); });
}

std::vector<ElementHandle> find_all_below(AXUIElementRef element, std::string_view attribute,
                                          std::string_view wanted) {
  platform::ReadScope scope(element);
  std::vector<ElementHandle> found;
  TreeWalk walk(element);
  std::vector<Level> levels;
  auto children = accessibility::get_children(element);
  if (!children) return found;
  levels.push_back(Level{walk.unmet(std::move(*children))});
  while (!levels.empty()) {
    Level& level = levels.back();
    if (level.next == level.elements.size()) {
      levels.pop_back();
      continue;
    }
    ElementHandle& current = level.elements[level.next++];
    auto below = walk.children_of(current.get());
    if (contains_text(current.get(), attribute, wanted)) found.push_back(std::move(current));
    // `level` and `current` are not used past this point: the push may move them.
    if (!below.empty()) levels.push_back(Level{std::move(below)});
  }
  return confirmed(std::move(found), scope,
                   [&](AXUIElementRef each) { return contains_text(each, attribute, wanted); });
}

}  // namespace pelorix
