// Finding an application's process and building the record every later operation uses.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/ax_app.h"
#include "error/result.h"

namespace pelorix {

// The largest process id; 0 and negative ids name process groups to `kill`, never one process.
inline constexpr std::int64_t kMaxPid = 2147483647;

// Connects by pid when one is given, else by bundle identifier, else by process name. The
// lookup runs before the permission check.
Result<std::unique_ptr<AXApp>, Failure> connect_app(const std::optional<std::string>& name,
                                                    const std::optional<std::string>& bundle_id,
                                                    std::optional<pid_t> pid);

// What a lookup program's output says.
struct LookupAnswer {
  enum class Kind { Found, NotFound, Unparsable } kind;
  pid_t pid = 0;  // when found: always positive
};
// pgrep's output: the first line, trimmed; several pids mean the first.
LookupAnswer read_pgrep_output(std::string_view output);
// The scripting service's output: the whole of it, trimmed; "missing value" means no process.
LookupAnswer read_osascript_output(std::string_view output);

// The AppleScript that prints the pid of the process with a bundle identifier. The identifier
// is written as a string literal, so whatever it holds is looked up literally.
std::string bundle_lookup_script(std::string_view bundle_id);

}  // namespace pelorix
