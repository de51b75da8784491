// The record behind an AXApp object: what every later operation on an application needs.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "accessibility/cf_ref.h"

namespace pelorix {

struct AXApp {
  // The application's accessibility element: the root of every search.
  ElementHandle element;
  // As the caller passed it; never looked up.
  std::optional<std::string> bundle_id;
  pid_t pid = 0;
};

}  // namespace pelorix
