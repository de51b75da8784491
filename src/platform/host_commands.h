// What the host services' macOS programs are told and what they answer: pgrep and kill,
// osascript with two System Events scripts, and screencapture. HostServices runs them by
// default; these are the pure parts.
#pragma once

#include <string>
#include <string_view>

#include "platform/host.h"

namespace pelorix::platform::commands {

// pgrep's output: the first line, trimmed; several pids mean the first.
LookupAnswer read_pgrep_output(std::string_view output);
// The scripting service's output: the whole of it, trimmed; "missing value" means no process.
LookupAnswer read_osascript_output(std::string_view output);

// The AppleScript that prints the pid of the process with a bundle identifier. The identifier
// is written as a string literal, so whatever it holds is looked up literally.
std::string bundle_lookup_script(std::string_view bundle_id);

// The region as screencapture's -R argument: "x,y,width,height", each truncated toward zero
// and held within the signed 32-bit range (NaN counts as 0).
std::string region_text(const Region& region);

}  // namespace pelorix::platform::commands
