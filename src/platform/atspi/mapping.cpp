#include "platform/atspi/mapping.h"

#include <algorithm>

namespace pelorix::platform::atspi {

std::string_view mapped_role(AtspiRole role, bool multi_line) {
  for (const RoleMapping& mapping : kRoles) {
    if (mapping.role != role) continue;
    if (multi_line && !mapping.multi_line_ax_role.empty()) return mapping.multi_line_ax_role;
    return mapping.ax_role;
  }
  return {};
}

bool role_in(std::span<const AtspiRole> roles, AtspiRole role) {
  return std::find(roles.begin(), roles.end(), role) != roles.end();
}

bool is_hidden(AtspiRole role, bool shown) {
  return !shown && !role_in(kKeptWhileHiddenRoles, role);
}

::AXError status_of_text(std::string_view message) {
  for (const StatusFragment& entry : kStatusFragments)
    if (message.find(entry.fragment) != std::string_view::npos) return entry.status;
  return kAXErrorFailure;
}

}  // namespace pelorix::platform::atspi
