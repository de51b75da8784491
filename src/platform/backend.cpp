#include <atomic>

#include "platform/backend.h"

namespace pelorix::platform {
namespace {

// Until a desktop is reachable there is nothing to automate: no trust, no elements, no events.
class NoDesktop final : public Backend {
 public:
  bool process_trusted() override { return false; }
  AXUIElementRef create_application(pid_t) override { return nullptr; }
  bool allow_event_source(CGEventSourceStateID) override { return false; }
  bool allow_keyboard_event(CGKeyCode, bool) override { return false; }
  void post_keyboard_event(pid_t, const KeyEvent&) override {}
};

Backend& default_backend() {
  static NoDesktop backend;
  return backend;
}

std::atomic<Backend*> selected{nullptr};

}  // namespace

Backend& active_backend() {
  Backend* backend = selected.load(std::memory_order_acquire);
  return backend != nullptr ? *backend : default_backend();
}

void select_backend(Backend* backend) {
  selected.store(backend, std::memory_order_release);
}

}  // namespace pelorix::platform
