#include <atomic>

#include "platform/atspi/desktop.h"
#include "platform/backend.h"

namespace pelorix::platform {
namespace {

std::atomic<Backend*> selected{nullptr};

}  // namespace

Backend& default_backend() {
  return atspi::desktop();
}

Backend& active_backend() {
  Backend* backend = selected.load(std::memory_order_acquire);
  return backend != nullptr ? *backend : default_backend();
}

void select_backend(Backend* backend) {
  selected.store(backend, std::memory_order_release);
}

}  // namespace pelorix::platform
