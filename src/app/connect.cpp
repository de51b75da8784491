#include "app/connect.h"

#include "accessibility/primitives.h"
#include "app/text.h"
#include "platform/process.h"

namespace pelorix {
namespace {

constexpr std::string_view kFailedToParsePid = "Failed to parse PID";

LookupAnswer answer_for(std::string_view text) {
  if (text.empty()) return {LookupAnswer::Kind::NotFound};
  // Anything but one positive pid would make `kill` address a process group.
  std::optional<std::int32_t> pid = text::parse_i32(text);
  if (!pid || *pid <= 0) return {LookupAnswer::Kind::Unparsable};
  return {LookupAnswer::Kind::Found, static_cast<pid_t>(*pid)};
}

// Runs a lookup program and reads its answer with `read`.
Result<pid_t, Failure> look_up(const std::vector<std::string>& argv, const std::string& what,
                               LookupAnswer (*read)(std::string_view)) {
  // No process name or bundle identifier holds a NUL, and none can be passed on intact.
  if (what.find('\0') != std::string::npos) return Failure(AXError(AXErrorKind::AppNotFound, what));
  auto outcome = platform::run_program(argv);
  if (auto* failed = std::get_if<platform::ProgramFailedToStart>(&outcome))
    return Failure(failed->text());
  LookupAnswer answer = read(std::get<platform::ProgramOutput>(outcome).standard_output);
  switch (answer.kind) {
    case LookupAnswer::Kind::Found:
      return answer.pid;
    case LookupAnswer::Kind::NotFound:
      return Failure(AXError(AXErrorKind::AppNotFound, what));
    case LookupAnswer::Kind::Unparsable:
      break;
  }
  return Failure(std::string(kFailedToParsePid));
}

}  // namespace

LookupAnswer read_pgrep_output(std::string_view output) {
  std::string text = text::decode_lossy(output);
  return answer_for(text::trim_white_space(text::first_line(text)));
}

LookupAnswer read_osascript_output(std::string_view output) {
  std::string text = text::decode_lossy(output);
  std::string_view answer = text::trim_white_space(text);
  if (answer == "missing value") return {LookupAnswer::Kind::NotFound};
  return answer_for(answer);
}

std::string bundle_lookup_script(std::string_view bundle_id) {
  std::string script =
      "tell application \"System Events\" to unix id of (processes whose bundle identifier is \"";
  for (char c : bundle_id) {
    if (c == '\\' || c == '"') script += '\\';
    script += c;
  }
  script += "\")";
  return script;
}

Result<std::unique_ptr<AXApp>, Failure> connect_app(const std::optional<std::string>& name,
                                                    const std::optional<std::string>& bundle_id,
                                                    std::optional<pid_t> pid) {
  if (!pid) {
    auto found = bundle_id
                     ? look_up({"osascript", "-e", bundle_lookup_script(*bundle_id)}, *bundle_id,
                               read_osascript_output)
                     : look_up({"pgrep", "-x", name.value()}, name.value(), read_pgrep_output);
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
