#include "app/connect.h"

#include "accessibility/primitives.h"
#include "app/text.h"
#include "platform/process.h"

namespace pelorix {
namespace {

constexpr std::string_view kFailedToParsePid = "Failed to parse PID";

// A pid from lookup output; anything that is not one process id is unusable.
Result<pid_t, Failure> usable_pid(std::string_view text) {
  std::optional<std::int32_t> pid = text::parse_i32(text);
  if (!pid || *pid <= 0) return Failure(std::string(kFailedToParsePid));
  return static_cast<pid_t>(*pid);
}

// The standard output of a lookup program, as text.
Result<std::string, Failure> run_lookup(const std::vector<std::string>& argv) {
  auto outcome = platform::run_program(argv);
  if (auto* failed = std::get_if<platform::ProgramFailedToStart>(&outcome))
    return Failure(failed->text());
  return text::decode_lossy(std::get<platform::ProgramOutput>(outcome).standard_output);
}

AXError not_found(const std::string& what) {
  return {AXErrorKind::AppNotFound, what};
}

Result<pid_t, Failure> lookup_by_name(const std::string& name) {
  // No process name holds a NUL, and one cannot be passed to pgrep intact.
  if (name.find('\0') != std::string::npos) return Failure(not_found(name));
  auto output = run_lookup({"pgrep", "-x", name});
  if (!output) return std::move(output).error();
  std::string_view line = text::trim_white_space(text::first_line(*output));
  if (line.empty()) return Failure(not_found(name));
  return usable_pid(line);
}

Result<pid_t, Failure> lookup_by_bundle_id(const std::string& bundle_id) {
  if (bundle_id.find('\0') != std::string::npos) return Failure(not_found(bundle_id));
  auto output = run_lookup({"osascript", "-e", bundle_lookup_script(bundle_id)});
  if (!output) return std::move(output).error();
  std::string_view answer = text::trim_white_space(*output);
  if (answer.empty() || answer == "missing value") return Failure(not_found(bundle_id));
  return usable_pid(answer);
}

}  // namespace

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
    auto found = bundle_id ? lookup_by_bundle_id(*bundle_id) : lookup_by_name(name.value());
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
