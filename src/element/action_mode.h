#pragma once

#include <cstdint>

namespace pelorix {

// Background acts through accessibility actions and writes only, leaving the application
// where it is; Focus first focuses the element and raises its window.
enum class ActionMode : std::uint8_t { Background = 0, Focus = 1 };

}  // namespace pelorix
