// The fingerprint of an application's accessibility tree: a 64-bit hash over a fixed selection
// of attributes of every element down to a fixed depth. The idle engine compares consecutive
// fingerprints; the value is never stored or shown.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "accessibility/cf_ref.h"
#include "error/result.h"
#include "sync/siphash.h"

namespace pelorix::sync {

// Elements deeper than this contribute nothing (the root is depth 0).
inline constexpr unsigned kMaxHashDepth = 19;
// Elements past this many contribute nothing: an application can describe a tree without end,
// or thousands of children on every level.
inline constexpr std::size_t kMaxHashElements = 100000;

struct HeuristicSync {
  // Borrowed from the AXApp that owns the engine, which keeps it alive.
  AXUIElementRef app_element = nullptr;
  pid_t pid = 0;

  // Never fails: whatever cannot be read only leaves its bytes out of the stream, so a tree
  // that can no longer be read at all hashes to the constant of the pid alone. Stops when the
  // call's bounds end (platform/call_bounds.h) or after kMaxHashElements elements.
  std::uint64_t hash_tree() const;
};

}  // namespace pelorix::sync
