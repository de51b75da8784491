#include "platform/atspi/element.h"

#include <atspi/atspi.h>

#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/atspi/actions.h"
#include "platform/atspi/attributes.h"
#include "platform/atspi/batch.h"
#include "platform/atspi/bus.h"
#include "platform/atspi/desktop.h"
#include "platform/atspi/reads.h"
#include "platform/atspi/writes.h"
#include "platform/call_bounds.h"
#include "platform/clock.h"

namespace pelorix::platform::atspi {
namespace {

// One element call's requests, as far as the current call's bounds allow (call_bounds.h):
// libatspi waits no longer than the call has left (less for an application that already let
// the call down), and an application whose request goes unanswered now is noted.
class Asking {
 public:
  explicit Asking(AtspiAccessible* accessible)
      : peer_(reference_of(accessible).bus_name), wait_ms_(request_wait_ms(kCallTimeoutMs, peer_)) {
    // Also makes sure the accessible asks on this process's own connection (after a fork, or
    // once the bus is back after it was lost).
    if (wait_ms_ == 0 || accessibility_bus() == nullptr) {
      wait_ms_ = 0;
      return;
    }
    atspi_set_timeout(wait_ms_, wait_ms_);
  }
  ~Asking() {
    if (wait_ms_ != 0) atspi_set_timeout(kCallTimeoutMs, kCallTimeoutMs);
  }
  Asking(const Asking&) = delete;
  Asking& operator=(const Asking&) = delete;
  bool allowed() const { return wait_ms_ != 0; }
  // Passes the status on, noting an application that did not answer in time.
  ::AXError done(::AXError status) {
    if (status == kAXErrorCannotComplete && now() - began_ >= std::chrono::milliseconds(wait_ms_))
      note_unanswered(peer_);
    return status;
  }

 private:
  std::string peer_;
  int wait_ms_;
  Instant began_ = now();
};

}  // namespace

Element::Element(AtspiAccessible* accessible, pid_t pid, bool application)
    : accessible_(accessible), pid_(pid), application_(application) {
  if (!application_ && accessible_ != nullptr) {
    Reference where = reference_of(accessible_);
    object_ = where.bus_name + '\n' + where.path;
  }
}

bool Element::equals(const CFObject& other) const {
  if (this == &other) return true;
  const auto* element = dynamic_cast<const Element*>(&other);
  if (element == nullptr || element->application_ != application_) return false;
  if (application_) return element->pid_ == pid_;
  return !object_.empty() && element->object_ == object_;
}

CFHashCode Element::hash() const {
  if (application_) return static_cast<CFHashCode>(pid_);
  if (object_.empty()) return CFObject::hash();
  return static_cast<CFHashCode>(std::hash<std::string>{}(object_));
}

Element::~Element() {
  if (accessible_ != nullptr) {
    std::lock_guard<std::recursive_mutex> guard(desktop().mutex());
    g_object_unref(accessible_);
  }
}

AtspiAccessible* Element::resolve(::AXError* status) const {
  // libatspi answers some calls about an application that has quit with the last value it
  // saw and no error; a process that is gone has no elements, whatever libatspi says.
  if (pid_ <= 0 || !desktop().is_running(pid_)) {
    *status = kAXErrorInvalidUIElement;
    return nullptr;
  }
  if (accessible_ == nullptr && application_) accessible_ = desktop().find_application(pid_);
  if (accessible_ != nullptr) return accessible_;
  // A process that has not (or not yet) put its tree on the accessibility bus cannot answer.
  *status = kAXErrorCannotComplete;
  return nullptr;
}

AtspiAccessible* Element::resolve_live(::AXError* status) const {
  AtspiAccessible* accessible = resolve(status);
  if (accessible == nullptr) return nullptr;
  // A destroyed widget's accessible may still list actions that no longer do anything, and
  // take writes that go nowhere; its states say whether it is defunct.
  States states;
  if ((*status = read_states(accessible, &states)) != kAXErrorSuccess) return nullptr;
  return accessible;
}

::AXError Element::copy_attribute_value(const std::string& name, CFTypeRef* value) const {
  std::lock_guard<std::recursive_mutex> guard(desktop().mutex());
  ::AXError status = kAXErrorSuccess;
  AtspiAccessible* accessible = resolve(&status);
  if (accessible == nullptr) return status;
  // A call that must stop reads nothing more, not even from its batch (which may ask for
  // more of the tree to answer).
  Asking asking(accessible);
  if (!asking.allowed()) return kAXErrorCannotComplete;
  if (Batch* batch = Batch::current();
      batch != nullptr && batch->answer(accessible, pid_, name, value, &status))
    return asking.done(status);
  return asking.done(read_attribute(accessible, pid_, name, value));
}

std::unique_ptr<ReadBatch> Element::open_read_batch() const {
  std::lock_guard<std::recursive_mutex> guard(desktop().mutex());
  // PELORIX_ATSPI_BATCH=0 reads every attribute live, request by request: what the batched
  // reads are compared with.
  if (const char* batching = std::getenv("PELORIX_ATSPI_BATCH");
      batching != nullptr && std::string_view(batching) == "0")
    return nullptr;
  ::AXError status = kAXErrorSuccess;
  AtspiAccessible* accessible = resolve(&status);
  if (accessible == nullptr) return nullptr;
  return Batch::open(accessible, pid_);
}

::AXError Element::set_attribute_value(const std::string& name, CFTypeRef value) const {
  std::lock_guard<std::recursive_mutex> guard(desktop().mutex());
  ::AXError status = kAXErrorSuccess;
  AtspiAccessible* accessible = resolve(&status);
  if (accessible == nullptr) return status;
  Asking asking(accessible);
  if (!asking.allowed()) return kAXErrorCannotComplete;
  if (resolve_live(&status) == nullptr) return asking.done(status);
  if (name == "AXFocused") return write_focus(accessible, pid_, value);
  if (name == "AXValue") return write_value(accessible, value);
  return unsupported_unless_gone(accessible, kAXErrorAttributeUnsupported);
}

::AXError Element::perform_action(const std::string& action) const {
  std::lock_guard<std::recursive_mutex> guard(desktop().mutex());
  ::AXError status = kAXErrorSuccess;
  AtspiAccessible* accessible = resolve(&status);
  if (accessible == nullptr) return status;
  Asking asking(accessible);
  if (!asking.allowed()) return kAXErrorCannotComplete;
  if (resolve_live(&status) == nullptr) return asking.done(status);
  if (action == "AXPress") return press(accessible, pid_);
  if (action == "AXShowMenu") return show_menu(accessible, pid_);
  if (action == "AXRaise") return raise_window(accessible, pid_);
  if (action == "AXScrollToVisible") return scroll_to_visible(accessible);
  if (action == "AXIncrement" || action == "AXDecrement")
    return step(accessible, action == "AXIncrement");
  return unsupported_unless_gone(accessible, kAXErrorActionUnsupported);
}

::AXError Element::get_pid(pid_t* pid) const {
  *pid = pid_;
  return kAXErrorSuccess;
}

AXUIElementRef make_element(AtspiAccessible* accessible, pid_t pid, bool application) {
  return static_cast<AXUIElementRef>((new Element(accessible, pid, application))->ref());
}

}  // namespace pelorix::platform::atspi
