// Key combinations as keyboard events posted to the target's process, each event carrying the
// modifier flags in force, as the system's own keyboard events do.
#include "element/keyboard.h"

#include <atomic>
#include <string>
#include <vector>

#include "accessibility/primitives.h"
#include "element/ax_element.h"
#include "platform/clock.h"

namespace pelorix::keyboard {
namespace {

using namespace std::chrono_literals;

constexpr auto kEventInterval = 10ms;

std::atomic<std::uint64_t> g_held_flags{0};

CGEventFlags flag_of(keys::Modifier modifier) {
  switch (modifier) {
    case keys::Modifier::Shift:
      return kCGEventFlagMaskShift;
    case keys::Modifier::Control:
      return kCGEventFlagMaskControl;
    case keys::Modifier::Alt:
      return kCGEventFlagMaskAlternate;
    case keys::Modifier::Super:
      return kCGEventFlagMaskCommand;
  }
  return 0;
}

// One key of the chord: its code and the flag it adds while down (none for ordinary keys).
struct Stroke {
  CGKeyCode code;
  CGEventFlags flag;
};

class Poster {
 public:
  Poster(CGEventSourceRef source, pid_t pid) : source_(source), pid_(pid) {}

  // Posts the key going down or up; the flags in force follow it. False when the event cannot
  // be made (nothing is posted then).
  bool post(const Stroke& stroke, bool down) {
    auto event = CFRef<CGEventRef>::adopt(CGEventCreateKeyboardEvent(source_, stroke.code, down));
    if (!event) return false;
    if (down)
      flags_ |= stroke.flag;
    else
      flags_ &= ~stroke.flag;
    // Set on every event, so the state of the physical keyboard never mixes in.
    CGEventSetFlags(event.get(), flags_);
    CGEventPostToPid(pid_, event.get());
    platform::sleep_for(kEventInterval);
    return true;
  }

  void start_with(CGEventFlags flags) { flags_ = flags; }
  CGEventFlags flags() const { return flags_; }

 private:
  CGEventSourceRef source_;
  pid_t pid_;
  CGEventFlags flags_ = 0;
};

// An application is focused through its main window: the application element takes no focus.
Result<void> prepare_focus(AXUIElementRef element) {
  auto role = accessibility::get_string_attribute_value(element, "AXRole");
  if (!role || *role != "AXApplication") return AXElement::bring_to_focus_internal(element);
  auto window = accessibility::get_attribute(element, "AXMainWindow");
  if (!window || !accessibility::is_element(window->get()))
    return AXError(AXErrorKind::ActionFailed, "The application has no main window to focus");
  auto handle = ElementHandle::adopt(static_cast<AXUIElementRef>(window->release()));
  (void)accessibility::perform_action(handle.get(), "AXRaise");
  auto truth = CFRef<CFBooleanRef>::retain(kCFBooleanTrue);
  // Making it the main window is a courtesy too: raising it brought it forward already.
  (void)accessibility::set_attribute_value(handle.get(), "AXMain", truth.get());
  return {};
}

}  // namespace

std::uint64_t held_flags() {
  return g_held_flags.load();
}

Result<void> send(AXUIElementRef element, const keys::Chord& chord, KeyAction action,
                  unsigned repeat, std::optional<ActionMode> mode) {
  if (repeat < 1 || repeat > kMaxRepeat)
    return AXError(AXErrorKind::ActionFailed, "Key repeat count out of range");
  bool background = mode == ActionMode::Background;
  if (mode == ActionMode::Focus) {
    if (auto focused = prepare_focus(element); !focused) return focused;
  }
  pid_t pid = 0;
  if (element == nullptr || AXUIElementGetPid(element, &pid) != kAXErrorSuccess)
    return AXError(AXErrorKind::MacOSApiError, "Failed to get PID");
  // A private source state keeps the events apart from the session's: what the background
  // needs, and what a desktop that can only type into the focused window does not offer.
  auto source = CFRef<CGEventSourceRef>::adopt(CGEventSourceCreate(
      background ? kCGEventSourceStatePrivate : kCGEventSourceStateHIDSystemState));
  if (!source && background)
    return AXError(AXErrorKind::ActionNotSupportedInBackground,
                   "Key input without focus is not possible on this desktop; use FOCUS mode");
  if (!source) return AXError(AXErrorKind::ActionFailed, "Failed to create event source");

  std::vector<Stroke> modifiers;
  for (keys::Modifier modifier : chord.modifiers)
    modifiers.push_back({keys::modifier_key_code(modifier), flag_of(modifier)});
  auto own = keys::modifier_of_key(chord.key_code);
  Stroke key{chord.key_code, own ? flag_of(*own) : 0};

  Poster poster(source.get(), pid);
  poster.start_with(g_held_flags.load());
  std::string text = "Failed to create a keyboard event for '";
  text.append(chord.key_name).append("'");
  AXError failed(AXErrorKind::ActionFailed, std::move(text));

  if (action == KeyAction::Up) {
    // Every release is tried, whatever fails.
    bool all = poster.post(key, false);
    for (auto m = modifiers.rbegin(); m != modifiers.rend(); ++m)
      all = poster.post(*m, false) && all;
    CGEventFlags released = key.flag;
    for (const Stroke& m : modifiers) released |= m.flag;
    g_held_flags.fetch_and(~released);
    if (!all) return failed;
    return {};
  }

  // Pressed keys in order, so that a failure releases exactly them, in reverse.
  std::vector<Stroke> pressed;
  bool ok = true;
  for (const Stroke& m : modifiers) {
    if (!poster.post(m, true)) {
      ok = false;
      break;
    }
    pressed.push_back(m);
  }
  if (ok && action == KeyAction::Down) {
    ok = poster.post(key, true);
    if (ok) {
      g_held_flags.fetch_or(poster.flags());
      return {};
    }
  }
  for (unsigned i = 0; ok && action == KeyAction::Press && i < repeat; ++i) {
    if (!poster.post(key, true)) {
      ok = false;
      break;
    }
    // The up is tried even if making it fails: the down is out already.
    ok = poster.post(key, false);
  }
  for (auto m = pressed.rbegin(); m != pressed.rend(); ++m) (void)poster.post(*m, false);
  if (!ok) return failed;
  return {};
}

}  // namespace pelorix::keyboard
