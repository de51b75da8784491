#include "app/ax_app.h"

#include "accessibility/primitives.h"
#include "platform/host.h"

namespace pelorix {
namespace {

bool is_element(CFTypeRef value) {
  return value != nullptr && CFGetTypeID(value) == AXUIElementGetTypeID();
}

}  // namespace

bool AXApp::is_running() const {
  return pid > 0 && platform::host().is_running(pid);
}

Result<void, Failure> AXApp::terminate() const {
  if (pid <= 0)
    return Failure(
        AXError(AXErrorKind::AppNotRunning, "no single process has pid " + std::to_string(pid)));
  if (auto failed = platform::host().terminate(pid)) return Failure(failed->text());
  return {};
}

Result<std::vector<ElementHandle>> AXApp::windows() const {
  auto value = accessibility::get_attribute(element.get(), "AXWindows");
  if (!value) return std::move(value).error();
  // Anything but an array is as good as no answer.
  if (!value->get() || CFGetTypeID(value->get()) != CFArrayGetTypeID())
    return AXError(AXErrorKind::MacOSApiError, "Failed to get windows array");
  auto handles = accessibility::cf_array_to_vec(static_cast<CFArrayRef>(value->get()));
  std::vector<ElementHandle> windows;
  windows.reserve(handles->size());
  // Only elements can be handed out as elements.
  for (ElementHandle& handle : *handles)
    if (is_element(handle.get())) windows.push_back(std::move(handle));
  return windows;
}

Result<ElementHandle> AXApp::main_window() const {
  auto value = accessibility::get_attribute(element.get(), "AXMainWindow");
  if (!value) return std::move(value).error();
  if (!is_element(value->get())) return ElementHandle();
  return ElementHandle::adopt(static_cast<AXUIElementRef>(value->release()));
}

}  // namespace pelorix
