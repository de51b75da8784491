// The record behind an AXElement object: one owned element handle.
#pragma once

#include "accessibility/cf_ref.h"

namespace pelorix {

struct AXElement {
  // Null only when the platform reported success without delivering an element.
  ElementHandle handle;
};

}  // namespace pelorix
