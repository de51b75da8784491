#include "platform/atspi/tools.h"

#include <sys/wait.h>

#include <array>
#include <charconv>
#include <optional>
#include <string_view>

#include "platform/atspi/x11.h"

namespace pelorix::platform::atspi {
namespace {

constexpr std::string_view kBundlePrefix =
    "tell application \"System Events\" to unix id of (processes whose bundle identifier is \"";
constexpr std::string_view kBundleSuffix = "\")";
constexpr std::string_view kWindowPrefix =
    "tell application \"System Events\" to id of window 1 of (processes whose unix id is ";
constexpr std::string_view kWindowSuffix = ")";

ProgramOutput exited(int code, std::string out, std::string err = {}) {
  ProgramOutput output;
  output.standard_output = std::move(out);
  output.standard_error = std::move(err);
  output.wait_status = W_EXITCODE(code, 0);
  return output;
}

bool strip(std::string_view text, std::string_view prefix, std::string_view suffix,
           std::string_view* middle) {
  if (text.size() < prefix.size() + suffix.size()) return false;
  if (text.substr(0, prefix.size()) != prefix) return false;
  if (text.substr(text.size() - suffix.size()) != suffix) return false;
  *middle = text.substr(prefix.size(), text.size() - prefix.size() - suffix.size());
  return true;
}

// The identifier inside the script's string literal; false when the literal is not closed
// exactly at its end.
bool unquote(std::string_view literal, std::string* out) {
  for (std::size_t i = 0; i < literal.size(); ++i) {
    char c = literal[i];
    if (c == '"') return false;
    if (c == '\\') {
      if (++i == literal.size()) return false;
      c = literal[i];
    }
    *out += c;
  }
  return true;
}

template <class T>
bool parse_number(std::string_view text, T* out) {
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *out);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

ProgramOutput osascript(const std::vector<std::string>& argv) {
  if (argv.size() != 3 || argv[1] != "-e")
    return exited(1, "", "osascript: only `osascript -e <script>` is answered on this desktop\n");
  std::string_view script = argv[2];
  std::string_view middle;
  if (strip(script, kBundlePrefix, kBundleSuffix, &middle)) {
    std::string id;
    if (!unquote(middle, &id)) return exited(1, "", "osascript: syntax error in the script\n");
    // Like System Events: every matching process, comma separated; nothing when none.
    std::string answer;
    for (pid_t pid : x11::pids_with_application_id(id))
      answer += (answer.empty() ? "" : ", ") + std::to_string(pid);
    return exited(0, answer + "\n");
  }
  if (strip(script, kWindowPrefix, kWindowSuffix, &middle)) {
    pid_t pid = 0;
    if (!parse_number(middle, &pid) || pid <= 0)
      return exited(1, "", "osascript: syntax error in the script\n");
    auto windows = x11::windows_of(pid);
    if (windows.empty())
      return exited(1, "",
                    "execution error: System Events got an error: Can't get window 1 of "
                    "process. Invalid index. (-1719)\n");
    // Window 1 is the frontmost: the top of the stacking order.
    return exited(0, std::to_string(windows.back().id) + "\n");
  }
  return exited(1, "", "osascript: this desktop answers only the scripts pelorix sends\n");
}

ProgramOutput screencapture(const std::vector<std::string>& argv) {
  std::optional<unsigned long> window_id;
  std::optional<std::array<int, 4>> rect;
  std::string path;
  for (std::size_t i = 1; i < argv.size(); ++i) {
    const std::string& arg = argv[i];
    if (arg == "-o" || arg == "-x") continue;
    if (arg == "-l" && i + 1 < argv.size()) {
      unsigned long id = 0;
      if (!parse_number(std::string_view(argv[++i]), &id))
        return exited(1, "", "screencapture: invalid window id\n");
      window_id = id;
      continue;
    }
    if (arg == "-R" && i + 1 < argv.size()) {
      std::string_view text = argv[++i];
      std::array<int, 4> values{};
      for (std::size_t k = 0; k < 4; ++k) {
        std::size_t comma = k < 3 ? text.find(',') : text.size();
        if (comma == std::string_view::npos || !parse_number(text.substr(0, comma), &values[k]))
          return exited(1, "", "screencapture: invalid rectangle\n");
        text.remove_prefix(k < 3 ? comma + 1 : comma);
      }
      rect = values;
      continue;
    }
    if (!arg.empty() && arg[0] == '-')
      return exited(1, "", "screencapture: unsupported option " + arg + "\n");
    if (!path.empty()) return exited(1, "", "screencapture: more than one file\n");
    path = arg;
  }
  if (path.empty() || window_id.has_value() == rect.has_value())
    return exited(1, "", "screencapture: give a file and either -l <window> or -R x,y,w,h\n");
  if (window_id) {
    auto window = x11::window(*window_id);
    if (!window) return exited(1, "", "screencapture: no such window\n");
    rect = std::array<int, 4>{window->x, window->y, window->width, window->height};
  }
  auto image = x11::capture((*rect)[0], (*rect)[1], (*rect)[2], (*rect)[3]);
  if (!image) return exited(1, "", "screencapture: nothing to capture there\n");
  std::string error;
  if (!x11::write_png(path, *image, &error))
    return exited(1, "", "screencapture: cannot write " + path + ": " + error + "\n");
  return exited(0, "");
}

}  // namespace pelorix::platform::atspi
