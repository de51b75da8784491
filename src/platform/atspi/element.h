// The element references of the real desktop: each holds one reference to an AT-SPI
// accessible and answers the accessibility calls by translating AX names to AT-SPI (the
// mapping is documented in docs/atspi-mapping.md).
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

#include "platform/backend.h"

typedef struct _AtspiAccessible AtspiAccessible;

namespace pelorix::platform::atspi {

class Element final : public ElementObject {
 public:
  // Takes over one reference to `accessible`. An application element may start without one
  // (the process has not registered with the accessibility bus yet) and looks it up again on
  // each call until it is found.
  Element(AtspiAccessible* accessible, pid_t pid, bool application);
  ~Element() override;

  ::AXError copy_attribute_value(const std::string& attribute, CFTypeRef* value) const override;
  ::AXError set_attribute_value(const std::string& attribute, CFTypeRef value) const override;
  ::AXError perform_action(const std::string& action) const override;
  ::AXError get_pid(pid_t* pid) const override;
  std::unique_ptr<ReadBatch> open_read_batch() const override;

  // Two references to one object of an application are equal, however they were obtained
  // (every read of children or parents makes new ones); two application elements are equal
  // when they are for one process.
  bool equals(const CFObject& other) const override;
  CFHashCode hash() const override;

 private:
  // The accessible to ask, or null with the status that explains why there is none.
  AtspiAccessible* resolve(::AXError* status) const;
  // The same, for an element whose widget has not been destroyed: what writes and actions
  // need.
  AtspiAccessible* resolve_live(::AXError* status) const;

  mutable AtspiAccessible* accessible_;
  pid_t pid_;
  bool application_;
  // The object's bus name and path, for the comparison; empty for an application element.
  std::string object_;
};

// A new element reference (+1) that adopts one reference to `accessible`.
AXUIElementRef make_element(AtspiAccessible* accessible, pid_t pid, bool application = false);

}  // namespace pelorix::platform::atspi
