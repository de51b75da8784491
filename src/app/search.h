// Finding elements in an application's accessibility tree.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "accessibility/cf_ref.h"
#include "app/query.h"
#include "error/result.h"

namespace pelorix {

// Whether the element has every present field of the criteria. Reads one attribute per present
// field, in the order role, title, identifier, label, and stops at the first that fails; an
// unreadable attribute fails its test.
bool element_matches(AXUIElementRef element, const SearchCriteria& criteria);

// The first element in level order, the root first, that matches; children in the order the
// application lists them. Elements whose children cannot be read are leaves.
Result<ElementHandle> breadth_first_search(AXUIElementRef root, const SearchCriteria& criteria);

// One search attempt: breadth_first_search with its reads in one platform::ReadScope. When the
// backend batched them, the element found is confirmed with live reads, and the attempt
// searches again, live, if it no longer matches.
Result<ElementHandle> search_once(AXUIElementRef root, const SearchCriteria& criteria);

// Searches the whole tree again every 50 ms until an element matches or `timeout_ms` (100 when
// absent) has passed: at least one attempt, the deadline checked after each. The error names
// the query as passed.
Result<ElementHandle> find_element(AXUIElementRef root, std::string_view query,
                                   std::optional<std::uint64_t> timeout_ms);

// The retry loop of the find operations: runs `attempt` (which yields an element or nothing)
// every 50 ms until it yields one or `timeout_ms` (100 when absent) has passed, then fails with
// ElementNotFound naming `query`.
Result<ElementHandle> retry_until_found(std::optional<std::uint64_t> timeout_ms,
                                        std::string_view query,
                                        const std::function<ElementHandle()>& attempt);

}  // namespace pelorix
