#include "platform/host_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "util/text.h"

namespace pelorix::platform::commands {
namespace {

LookupAnswer answer_for(std::string_view text) {
  if (text.empty()) return {LookupAnswer::Kind::NotFound};
  // Anything but one positive pid would make `kill` address a process group.
  std::optional<std::int32_t> pid = text::parse_i32(text);
  if (!pid || *pid <= 0) return {LookupAnswer::Kind::Unparsable};
  return {LookupAnswer::Kind::Found, static_cast<pid_t>(*pid)};
}

// Runs a lookup program and reads its answer with `read`.
PidLookup look_up(const std::vector<std::string>& argv, LookupAnswer (*read)(std::string_view)) {
  auto outcome = run_program(argv);
  if (auto* failed = std::get_if<ProgramFailedToStart>(&outcome)) return *failed;
  return read(std::get<ProgramOutput>(outcome).standard_output);
}

// Prints the identifier of the first window of the process.
std::string window_id_script(pid_t pid) {
  return "tell application \"System Events\" to id of window 1 of (processes whose unix id is " +
         std::to_string(pid) + ")";
}

std::int32_t region_coordinate(double value) {
  using Limits = std::numeric_limits<std::int32_t>;
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(Limits::max())) return Limits::max();
  if (value <= static_cast<double>(Limits::min())) return Limits::min();
  // Strictly inside the range, so the truncating conversion is defined.
  return static_cast<std::int32_t>(value);
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

std::string region_text(const Region& region) {
  return std::to_string(region_coordinate(region.x)) + "," +
         std::to_string(region_coordinate(region.y)) + "," +
         std::to_string(region_coordinate(region.width)) + "," +
         std::to_string(region_coordinate(region.height));
}

}  // namespace pelorix::platform::commands

namespace pelorix::platform {

using commands::bundle_lookup_script;
using commands::look_up;
using commands::read_osascript_output;
using commands::read_pgrep_output;
using commands::region_text;
using commands::window_id_script;

PidLookup HostServices::find_pid_by_name(const std::string& name) {
  return look_up({"pgrep", "-x", name}, read_pgrep_output);
}

PidLookup HostServices::find_pid_by_bundle_id(const std::string& bundle_id) {
  return look_up({"osascript", "-e", bundle_lookup_script(bundle_id)}, read_osascript_output);
}

Capture HostServices::capture_window(pid_t pid) {
  auto lookup = run_program({"osascript", "-e", window_id_script(pid)});
  if (auto* failed = std::get_if<ProgramFailedToStart>(&lookup))
    return CaptureFailure{CaptureFailure::Stage::CouldNotStart, failed->error_number};
  // The lookup's exit status says nothing useful: without a window it prints nothing, and the
  // capture of an empty identifier fails by itself.
  std::string output = text::decode_lossy(std::get<ProgramOutput>(lookup).standard_output);
  std::string window_id(text::trim_white_space(output));
  // An argument ends at a NUL, so the tool would be pointed at some other window.
  if (window_id.find('\0') != std::string::npos)
    return CaptureFailure{CaptureFailure::Stage::Unsuccessful};
  return capture_to_file({"screencapture", "-l", window_id, "-o", "-x"},
                         "pelorix_screenshot_" + std::to_string(pid), ".png");
}

Capture HostServices::capture_region(const Region& region) {
  return capture_to_file(
      {"screencapture", "-R", region_text(region), "-x"},
      "pelorix_element_screenshot_" + std::to_string(static_cast<unsigned long>(::getpid())),
      ".png");
}

bool HostServices::is_running(pid_t pid) {
  std::string proc = "/proc/" + std::to_string(pid);
  struct stat info {};
  if (::stat(proc.c_str(), &info) == 0) return true;
  auto outcome = run_program({"kill", "-0", std::to_string(pid)});
  auto* output = std::get_if<ProgramOutput>(&outcome);
  return output != nullptr && output->succeeded();
}

std::optional<ProgramFailedToStart> HostServices::terminate(pid_t pid) {
  auto outcome = run_program({"kill", std::to_string(pid)});
  if (auto* failed = std::get_if<ProgramFailedToStart>(&outcome)) return *failed;
  return std::nullopt;
}

}  // namespace pelorix::platform
