// What the companion package reads of an element beyond the AXElement methods: its place in the
// tree and its attributes' raw values.
#pragma once

#include <string_view>
#include <vector>

#include "accessibility/cf_ref.h"
#include "error/result.h"

namespace pelorix {

// The children in the order the application lists them: none when the element has no children
// to list; the read's error when the element no longer answers at all.
Result<std::vector<ElementHandle>> element_children(AXUIElementRef element);

// The parent; a null handle at the top, or when it cannot be read.
ElementHandle element_parent(AXUIElementRef element);

// The value (+1) of the attribute `name`, or null when it cannot be read. macOS has no
// attribute for AXShowing, AXVisible, AXEditable and AXFocusable; there they are answered from
// the attributes it has (see docs/states.md). The Linux desktop answers them itself.
CFRef<CFTypeRef> element_attribute(AXUIElementRef element, std::string_view name);

}  // namespace pelorix
