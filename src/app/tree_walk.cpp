#include "app/tree_walk.h"

#include "accessibility/primitives.h"

namespace pelorix {

TreeWalk::TreeWalk(AXUIElementRef start) {
  if (start != nullptr) seen_.first_visit(start);
}

std::vector<ElementHandle> TreeWalk::children_of(AXUIElementRef element) {
  auto value = accessibility::get_attribute(element, "AXChildren");
  if (!value || !value->get() || CFGetTypeID(value->get()) != CFArrayGetTypeID()) return {};
  auto children = accessibility::cf_array_to_vec(static_cast<CFArrayRef>(value->get()));
  return children ? unmet(std::move(*children)) : std::vector<ElementHandle>();
}

std::vector<ElementHandle> TreeWalk::unmet(std::vector<ElementHandle> elements) {
  std::vector<ElementHandle> out;
  out.reserve(elements.size());
  for (ElementHandle& element : elements)
    if (seen_.first_visit(element.get())) out.push_back(std::move(element));
  return out;
}

}  // namespace pelorix
