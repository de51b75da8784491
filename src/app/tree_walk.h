// How every search of the tree goes from an element to its children, whatever its order.
#pragma once

#include <vector>

#include "accessibility/cf_ref.h"

namespace pelorix {

// One walk of a tree: each search makes one and takes every element's children from it, so
// what the walk visits is decided here and only here.
class TreeWalk {
 public:
  // The children of `element` to visit, in the order the application lists them; none when
  // they cannot be read, are absent or are not an array.
  std::vector<ElementHandle> children_of(AXUIElementRef element);
};

}  // namespace pelorix
