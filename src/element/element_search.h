// Finding elements below one element.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "accessibility/cf_ref.h"
#include "error/result.h"

namespace pelorix {

// The first element in depth-first pre-order, starting with the elements of `elements` (which
// the search owns), whose `attribute` text contains `wanted`. Deep trees cost heap, not stack.
// Each element is visited once (an element met again through a children cycle is left out);
// `below`, the element whose children `elements` are, counts as met.
Result<ElementHandle> search_in_elements(std::vector<ElementHandle> elements,
                                         std::string_view attribute, std::string_view wanted,
                                         AXUIElementRef below = nullptr);

// Searches the descendants of `element` for an "Attribute:text" query (or a title) every 50 ms
// until one matches or `timeout_ms` (100 when absent) has passed.
Result<ElementHandle> find_in_element(AXUIElementRef element, std::string_view query,
                                      std::optional<std::uint64_t> timeout_ms);

}  // namespace pelorix
