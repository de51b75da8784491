// Finding an application's process and building the record every later operation uses.
#pragma once

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>

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

}  // namespace pelorix
