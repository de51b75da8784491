#include "platform/read_scope.h"

#include "platform/backend.h"
#include "platform/call_bounds.h"

namespace pelorix::platform {

ReadScope::ReadScope(AXUIElementRef root, std::optional<Instant> deadline, Geometry geometry) {
  if (const auto* element = object_cast<ElementObject>(root)) batch_ = element->open_read_batch();
  // Without a deadline of its own the scope reads no longer than the call it belongs to.
  if (!deadline) deadline = call_end();
  if (batch_ && deadline) batch_->limit_to(*deadline);
  if (batch_ && geometry == Geometry::PresenceOnly) batch_->geometry_presence_only();
}

}  // namespace pelorix::platform
