// A desktop made of data, that tests build, change and inspect while the module runs against
// it.
//
// The desktop is a forest of nodes, one tree per application pid. Tests drive it with JSON
// commands (request()); the module reaches it through the platform calls, like a real desktop.
// Everything it is asked is recorded. Changes can be scheduled for later; they are applied at
// the start of the next call that reaches the desktop, so a tree can change while a call of the
// module is still running without any thread of our own.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "platform/backend.h"
#include "platform/sim/element.h"

namespace pelorix::platform::sim {

class SimulatedDesktop final : public Backend {
 public:
  SimulatedDesktop();
  ~SimulatedDesktop() override;

  bool process_trusted() override;
  AXUIElementRef create_application(pid_t pid) override;
  bool allow_event_source(CGEventSourceStateID state) override;
  bool allow_keyboard_event(CGKeyCode key_code, bool key_down) override;
  void post_keyboard_event(pid_t pid, const KeyEvent& event) override;
  bool allow_pointer_event(CGEventType type, std::optional<CGPoint> position) override;
  void post_pointer_event(const PointerEvent& event) override;

  // What the element proxies ask, on behalf of the node they stand for.
  ::AXError copy_attribute_value(const SimElement& element, const std::string& name,
                                 CFTypeRef* value);
  ::AXError set_attribute_value(const SimElement& element, const std::string& name,
                                CFTypeRef value);
  ::AXError perform_action(const SimElement& element, const std::string& name);
  ::AXError get_pid(const SimElement& element, pid_t* pid);

  // One harness command as JSON text; the reply is {"result": ...} or {"error": "..."}.
  // Never throws but for lack of memory.
  std::string request(const std::string& json);

 private:
  struct State;
  // Sleeps for the configured per-call delay (outside the lock, so slow calls overlap like
  // those of a slow application), then locks and applies the changes that are due.
  std::unique_lock<std::mutex> enter(bool delay);

  std::mutex mutex_;
  std::atomic<std::int64_t> delay_us_{0};
  std::unique_ptr<State> state_;
};

// The one desktop of the process.
SimulatedDesktop& desktop();

}  // namespace pelorix::platform::sim
