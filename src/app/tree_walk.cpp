#include "app/tree_walk.h"

#include "accessibility/primitives.h"
#include "platform/call_bounds.h"

namespace pelorix {

TreeWalk::TreeWalk(AXUIElementRef start) {
  if (start != nullptr) seen_.first_visit(start);
}

bool TreeWalk::stopped() {
  if (!stopped_ && (handed_out_ >= kBudget || platform::call_stopped())) stopped_ = true;
  return stopped_;
}

std::vector<ElementHandle> TreeWalk::children_of(AXUIElementRef element) {
  if (stopped()) return {};
  auto value = accessibility::get_attribute(element, "AXChildren");
  if (!value || !value->get() || CFGetTypeID(value->get()) != CFArrayGetTypeID()) return {};
  auto children = accessibility::cf_array_to_vec(static_cast<CFArrayRef>(value->get()));
  return children ? unmet(std::move(*children)) : std::vector<ElementHandle>();
}

std::vector<ElementHandle> TreeWalk::unmet(std::vector<ElementHandle> elements) {
  std::vector<ElementHandle> out;
  out.reserve(elements.size());
  for (ElementHandle& element : elements) {
    if (handed_out_ >= kBudget) break;
    if (seen_.first_visit(element.get())) {
      out.push_back(std::move(element));
      ++handed_out_;
    }
  }
  return out;
}

}  // namespace pelorix
