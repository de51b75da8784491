#include "app/connect.h"

#include "accessibility/primitives.h"
#include "platform/host.h"

namespace pelorix {
namespace {

constexpr std::string_view kFailedToParsePid = "Failed to parse PID";

// The pid a lookup found; `what` names what was looked for.
Result<pid_t, Failure> found_pid(const platform::PidLookup& lookup, const std::string& what) {
  if (auto* failed = std::get_if<platform::ProgramFailedToStart>(&lookup))
    return Failure(failed->text());
  const auto& answer = std::get<platform::LookupAnswer>(lookup);
  switch (answer.kind) {
    case platform::LookupAnswer::Kind::Found:
      return answer.pid;
    case platform::LookupAnswer::Kind::NotFound:
      return Failure(AXError(AXErrorKind::AppNotFound, what));
    case platform::LookupAnswer::Kind::Unparsable:
      break;
  }
  return Failure(std::string(kFailedToParsePid));
}

Result<pid_t, Failure> look_up(const std::optional<std::string>& name,
                               const std::optional<std::string>& bundle_id) {
  const std::string& what = bundle_id ? *bundle_id : name.value();
  // No process name or bundle identifier holds a NUL, and none can be passed on intact.
  if (what.find('\0') != std::string::npos) return Failure(AXError(AXErrorKind::AppNotFound, what));
  return found_pid(bundle_id ? platform::host().find_pid_by_bundle_id(what)
                             : platform::host().find_pid_by_name(what),
                   what);
}

}  // namespace

Result<std::unique_ptr<AXApp>, Failure> connect_app(const std::optional<std::string>& name,
                                                    const std::optional<std::string>& bundle_id,
                                                    std::optional<pid_t> pid) {
  if (!pid) {
    auto found = look_up(name, bundle_id);
    if (!found) return std::move(found).error();
    pid = *found;
  }
  if (!accessibility::is_process_trusted()) return Failure(AXError::accessibility_not_enabled());
  auto element = ElementHandle::adopt(AXUIElementCreateApplication(*pid));
  if (!element)
    return Failure(AXError(AXErrorKind::MacOSApiError,
                           "Failed to create element for pid " + std::to_string(*pid)));
  auto app = std::make_unique<AXApp>();
  app->sync_engine =
      std::make_shared<const sync::SyncEngine>(sync::HeuristicSync{element.get(), *pid});
  app->element = std::move(element);
  app->bundle_id = bundle_id;
  app->pid = *pid;
  return app;
}

}  // namespace pelorix
