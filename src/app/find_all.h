// Every element a query matches, not only the first: what lists and counts of elements are built
// on. The same walks as the find operations, carried on to the end of the tree.
#pragma once

#include <string_view>
#include <vector>

#include "accessibility/cf_ref.h"
#include "app/query.h"

namespace pelorix {

// Every element in the application's tree that matches, in the order AXApp.find's search meets
// them (level order, the root first). One walk, its reads perhaps batched; when they were, each
// element is confirmed with live reads and those that no longer match are left out.
std::vector<ElementHandle> find_all_matching(AXUIElementRef root, const SearchCriteria& criteria);

// Every descendant of `element` whose `attribute` text contains `wanted`, in the order
// AXElement.find's search meets them (depth-first pre-order), confirmed as above.
std::vector<ElementHandle> find_all_below(AXUIElementRef element, std::string_view attribute,
                                          std::string_view wanted);

}  // namespace pelorix
