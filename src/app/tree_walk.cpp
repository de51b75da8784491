#include "app/tree_walk.h"

#include "accessibility/primitives.h"

namespace pelorix {

std::vector<ElementHandle> TreeWalk::children_of(AXUIElementRef element) {
  auto value = accessibility::get_attribute(element, "AXChildren");
  if (!value || !value->get() || CFGetTypeID(value->get()) != CFArrayGetTypeID()) return {};
  auto children = accessibility::cf_array_to_vec(static_cast<CFArrayRef>(value->get()));
  return children ? std::move(*children) : std::vector<ElementHandle>();
}

}  // namespace pelorix
