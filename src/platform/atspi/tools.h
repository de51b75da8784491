// The two macOS programs the module runs that have no Linux namesake, answered from the
// desktop: osascript for the two System Events scripts the module sends, and screencapture
// for window and rectangle captures.
#pragma once

#include <string>
#include <vector>

#include "platform/process.h"

namespace pelorix::platform::atspi {

ProgramOutput osascript(const std::vector<std::string>& argv);
ProgramOutput screencapture(const std::vector<std::string>& argv);

}  // namespace pelorix::platform::atspi
