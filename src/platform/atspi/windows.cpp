#include "platform/atspi/windows.h"

#include <algorithm>
#include <string>
#include <tuple>
#include <utility>

#include "platform/atspi/children.h"
#include "platform/atspi/reads.h"

namespace pelorix::platform::atspi {

bool window_relative(AtspiAccessible* accessible) {
  return toolkit(accessible).rfind("GTK 4.", 0) == 0;
}

Owned<AtspiAccessible> toplevel_of(AtspiAccessible* accessible) {
  Owned<AtspiAccessible> current(static_cast<AtspiAccessible*>(g_object_ref(accessible)));
  for (int depth = 0; depth < 256; ++depth) {
    Owned<AtspiAccessible> parent;
    if (read_parent(current.get(), &parent) != kAXErrorSuccess || !parent)
      return Owned<AtspiAccessible>();
    AtspiRole role = ATSPI_ROLE_INVALID;
    if (read_role(parent.get(), &role) != kAXErrorSuccess) return Owned<AtspiAccessible>();
    if (role == ATSPI_ROLE_APPLICATION) return current;
    current = std::move(parent);
  }
  return Owned<AtspiAccessible>();
}

std::optional<x11::Window> x_window_of(AtspiAccessible* toplevel, pid_t pid,
                                       std::pair<int, int>* toplevel_size) {
  std::string title;
  read_name(toplevel, &title);
  auto windows = x11::windows_of(pid);
  if (windows.empty()) return std::nullopt;
  std::optional<x11::Window> titled;
  Owned<AtspiComponent> component = iface(toplevel, atspi_accessible_get_component_iface);
  AtspiRect* size = nullptr;
  if (component) {
    ErrorSlot error;
    size = atspi_component_get_extents(component.get(), ATSPI_COORD_TYPE_WINDOW, error.out());
  }
  std::optional<x11::Window> found;
  for (auto window = windows.rbegin(); window != windows.rend() && !found; ++window) {
    if (window->title != title || window->popup) continue;
    if (!titled) titled = *window;
    if (size != nullptr && size->width == window->width && size->height == window->height)
      found = *window;
  }
  if (size != nullptr && toplevel_size != nullptr) *toplevel_size = {size->width, size->height};
  g_free(size);
  if (!found) found = titled;
  if (!found && windows.size() == 1) found = windows.front();
  return found;
}

::AXError extents(AtspiAccessible* accessible, pid_t pid, CGRect* out) {
  // Asking for the extents straight away saves the call that lists the element's interfaces
  // (every widget has a Component); only when the call fails does that list decide whether
  // the attribute is unsupported or the call failed. The application object has no Component
  // and GTK 3 complains on standard error when asked, so for it the list comes first.
  if (is_application_object(accessible)) {
    Owned<AtspiComponent> component = iface(accessible, atspi_accessible_get_component_iface);
    if (!component) return unsupported_unless_gone(accessible, kAXErrorAttributeUnsupported);
  }
  ErrorSlot error;
  AtspiRect* rect = atspi_component_get_extents(ATSPI_COMPONENT(accessible),
                                                ATSPI_COORD_TYPE_SCREEN, error.out());
  if (error || rect == nullptr) {
    g_free(rect);
    ::AXError status = status_of(error.error);
    if (status == kAXErrorCannotComplete || status == kAXErrorInvalidUIElement) return status;
    Owned<AtspiComponent> component = iface(accessible, atspi_accessible_get_component_iface);
    return component ? status : unsupported_unless_gone(accessible, kAXErrorAttributeUnsupported);
  }
  // GTK 3 answers (-1, -1, -1, -1) for a destroyed widget, whose interface list no longer
  // names a Component; a negative size is what makes the list worth asking for.
  bool negative = rect->width < 0 || rect->height < 0;
  *out = CGRect{{static_cast<double>(rect->x), static_cast<double>(rect->y)},
                {static_cast<double>(rect->width), static_cast<double>(rect->height)}};
  g_free(rect);
  if (negative && !iface(accessible, atspi_accessible_get_component_iface))
    return unsupported_unless_gone(accessible, kAXErrorAttributeUnsupported);
  if (window_relative(accessible)) {
    Owned<AtspiAccessible> top = toplevel_of(accessible);
    std::pair<int, int> size{0, 0};
    if (top) {
      if (auto window = x_window_of(top.get(), pid, &size)) {
        // A window with client-side decorations draws a border or shadow around its content
        // inside its X window, and positions are relative to the content: GTK says how far in
        // it starts when a compositor runs; without one the margin is the same on every side.
        int left = 0, above = 0;
        if (window->content_inset) {
          std::tie(left, above) = *window->content_inset;
        } else {
          // The application's size may be any 32-bit number: the difference is taken wide.
          auto margin = [](int outer, int inner) {
            long long half = (static_cast<long long>(outer) - inner) / 2;
            return static_cast<int>(std::clamp<long long>(half, 0, std::max(outer, 0)));
          };
          left = margin(window->width, size.first);
          above = margin(window->height, size.second);
        }
        out->origin.x += window->x + left;
        out->origin.y += window->y + above;
      }
    }
  }
  return kAXErrorSuccess;
}

bool shows_popup(AtspiAccessible* window, pid_t pid) {
  Owned<AtspiComponent> component = iface(window, atspi_accessible_get_component_iface);
  if (!component) return false;
  ErrorSlot error;
  AtspiRect* rect =
      atspi_component_get_extents(component.get(), ATSPI_COORD_TYPE_SCREEN, error.out());
  if (error || rect == nullptr) {
    g_free(rect);
    return false;
  }
  AtspiRect at = *rect;
  g_free(rect);
  // The X window exactly where the toolkit says the window is: toolkits that put their menus
  // in the tree as windows of their own (Chromium's context menu is a frame holding a menu)
  // show them in override-redirect windows, as every X11 toolkit shows popups.
  bool popup = false;
  bool framed = false;
  for (const x11::Window& shown : x11::windows_of(pid)) {
    if (shown.x != at.x || shown.y != at.y || shown.width != at.width || shown.height != at.height)
      continue;
    (shown.popup ? popup : framed) = true;
  }
  return popup && !framed;
}

::AXError shown_windows(AtspiAccessible* application, std::vector<Owned<AtspiAccessible>>* out,
                        std::optional<std::size_t>* active) {
  std::vector<Owned<AtspiAccessible>> children;
  if (::AXError status = read_children(application, &children); status != kAXErrorSuccess)
    return status;
  for (Owned<AtspiAccessible>& child : children) {
    States states;
    if (read_states(child.get(), &states) != kAXErrorSuccess) continue;
    if (!states.has(ATSPI_STATE_SHOWING) && !states.has(ATSPI_STATE_VISIBLE)) continue;
    if (states.has(ATSPI_STATE_ACTIVE) && !*active) *active = out->size();
    out->push_back(std::move(child));
  }
  return kAXErrorSuccess;
}

}  // namespace pelorix::platform::atspi
