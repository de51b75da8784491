#include "element/element_search.h"

#include "accessibility/primitives.h"
#include "app/query.h"
#include "app/search.h"
#include "app/tree_walk.h"
#include "platform/read_scope.h"

namespace pelorix {
namespace {

// One level of the walk: a list of siblings and the next one to visit.
struct Level {
  std::vector<ElementHandle> elements;
  std::size_t next = 0;
};

}  // namespace

Result<ElementHandle> search_in_elements(std::vector<ElementHandle> elements,
                                         std::string_view attribute, std::string_view wanted,
                                         AXUIElementRef below) {
  TreeWalk walk(below);
  std::vector<Level> levels;
  levels.push_back(Level{walk.unmet(std::move(elements))});
  while (!levels.empty() && !walk.stopped()) {
    Level& level = levels.back();
    if (level.next == level.elements.size()) {
      levels.pop_back();
      continue;
    }
    ElementHandle& element = level.elements[level.next++];
    auto text = accessibility::get_string_attribute_value(element.get(), attribute);
    if (text && text->find(wanted) != std::string::npos) return std::move(element);
    auto children = walk.children_of(element.get());
    // `level` is not used past this point: the push may move it.
    if (!children.empty()) levels.push_back(Level{std::move(children)});
  }
  std::string text(attribute);
  text += ':';
  text += wanted;
  return AXError(AXErrorKind::ElementNotFound, std::move(text));
}

Result<ElementHandle> find_in_element(AXUIElementRef element, std::string_view query,
                                      std::optional<std::uint64_t> timeout_ms) {
  return retry_until_found(timeout_ms, query, [&]() -> ElementHandle {
    // Named variables rather than a structured binding: clang before 16 cannot capture those.
    const std::pair<std::string, std::string> parsed = parse_attribute_query(query);
    const std::string& attribute = parsed.first;
    const std::string& wanted = parsed.second;
    auto search = [&]() -> ElementHandle {
      auto children = accessibility::get_children(element);
      if (!children) return {};
      auto found = search_in_elements(std::move(*children), attribute, wanted, element);
      return found ? std::move(found).value() : ElementHandle();
    };
    // One attempt is one call, its reads perhaps batched; what it hands back is confirmed
    // live (see search_once).
    platform::ReadScope scope(element);
    ElementHandle found = search();
    if (!found || !scope.batched()) return found;
    scope.close();
    auto text = accessibility::get_string_attribute_value(found.get(), attribute);
    if (text && text->find(wanted) != std::string::npos) return found;
    return search();
  });
}

}  // namespace pelorix
