// The elements a walk over the accessibility tree has already met, compared by identity.
//
// Toolkits with bugs list an element among its own descendants or name a descendant as an
// element's parent. A walk that remembers what it met stops there instead of going round for
// ever, and needs no depth limit that would also cut a legitimately deep tree short.
#pragma once

#include <unordered_map>

#include "accessibility/cf_ref.h"

namespace pelorix {

class SeenElements {
 public:
  // True the first time an element is offered (it is then remembered, with a reference of its
  // own); false for an element equal (CFEqual) to one already met.
  bool first_visit(AXUIElementRef element) {
    auto [first, last] = seen_.equal_range(CFHash(element));
    for (auto it = first; it != last; ++it)
      if (CFEqual(it->second.get(), element)) return false;
    seen_.emplace(CFHash(element), ElementHandle::retain(element));
    return true;
  }

 private:
  std::unordered_multimap<CFHashCode, ElementHandle> seen_;
};

}  // namespace pelorix
