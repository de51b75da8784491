#include "platform/read_scope.h"

#include "platform/backend.h"

namespace pelorix::platform {

ReadScope::ReadScope(AXUIElementRef root) {
  if (const auto* element = object_cast<ElementObject>(root)) batch_ = element->open_read_batch();
}

}  // namespace pelorix::platform
