// How every search of the tree goes from an element to its children, whatever its order.
#pragma once

#include <cstddef>
#include <vector>

#include "accessibility/cf_ref.h"
#include "accessibility/seen_elements.h"

namespace pelorix {

// One walk of a tree: each search makes one and takes every element's children from it, so
// what the walk visits is decided here and only here.
//
// A walk visits each element once. Toolkits with bugs list an element among its own
// descendants; the walk remembers every element it has handed out (compared by identity,
// CFEqual) and leaves out any it meets again, so a search through such a cycle ends, and
// without a depth limit that would also cut a legitimately deep tree short.
class TreeWalk {
 public:
  // How many elements one walk hands out at most: an application can describe a tree without
  // end (or 2^31 children an element), and the walk keeps a reference to each it met.
  static constexpr std::size_t kBudget = 200000;

  // The element the walk starts from (the search root, or the element searched below): it
  // counts as met.
  explicit TreeWalk(AXUIElementRef start);
  // The children of `element` to visit, in the order the application lists them, less those
  // met before; none when they cannot be read, are absent or are not an array, and none once
  // the walk has stopped.
  std::vector<ElementHandle> children_of(AXUIElementRef element);
  // Whether the walk has stopped: its budget is spent, or the call it belongs to must stop
  // (its time limit passed, or Ctrl-C). A search that stops finds nothing more.
  bool stopped();
  // `elements` less those met before (and less repeats), each now met.
  std::vector<ElementHandle> unmet(std::vector<ElementHandle> elements);

 private:
  SeenElements seen_;
  std::size_t handed_out_ = 0;
  bool stopped_ = false;
};

}  // namespace pelorix
