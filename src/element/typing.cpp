// Typing text as keyboard events posted straight to the element's process.
#include <unicode/utf8.h>

#include <array>

#include "element/ax_element.h"
#include "platform/clock.h"
#include "util/text.h"

namespace pelorix {
namespace {

using namespace std::chrono_literals;

constexpr auto kEventInterval = 10ms;
constexpr CGKeyCode kShiftKey = 56;
// The key every character without a key of its own is typed on; the event's text carries the
// character itself, so the application receives it whatever the key.
constexpr CGKeyCode kFallbackKey = 49;

struct Key {
  CGKeyCode code = kFallbackKey;
  bool shift = false;
};

// The US (ANSI) layout: for each key code, the character typed without and with shift.
struct LayoutKey {
  CGKeyCode code;
  char plain;
  char shifted;
};
constexpr LayoutKey kLayout[] = {
    {0, 'a', 'A'},  {1, 's', 'S'},  {2, 'd', 'D'},   {3, 'f', 'F'},  {4, 'h', 'H'},
    {5, 'g', 'G'},  {6, 'z', 'Z'},  {7, 'x', 'X'},   {8, 'c', 'C'},  {9, 'v', 'V'},
    {11, 'b', 'B'}, {12, 'q', 'Q'}, {13, 'w', 'W'},  {14, 'e', 'E'}, {15, 'r', 'R'},
    {16, 'y', 'Y'}, {17, 't', 'T'}, {18, '1', '!'},  {19, '2', '@'}, {20, '3', '#'},
    {21, '4', '$'}, {22, '6', '^'}, {23, '5', '%'},  {24, '=', '+'}, {25, '9', '('},
    {26, '7', '&'}, {27, '-', '_'}, {28, '8', '*'},  {29, '0', ')'}, {30, ']', '}'},
    {31, 'o', 'O'}, {32, 'u', 'U'}, {33, '[', '{'},  {34, 'i', 'I'}, {35, 'p', 'P'},
    {36, '\n', 0},  {36, '\r', 0},  {37, 'l', 'L'},  {38, 'j', 'J'}, {39, '\'', '"'},
    {40, 'k', 'K'}, {41, ';', ':'}, {42, '\\', '|'}, {43, ',', '<'}, {44, '/', '?'},
    {45, 'n', 'N'}, {46, 'm', 'M'}, {47, '.', '>'},  {48, '\t', 0},  {50, '`', '~'},
};

constexpr std::array<Key, 128> make_key_map() {
  std::array<Key, 128> map{};
  for (const LayoutKey& key : kLayout) {
    map[static_cast<unsigned char>(key.plain)] = {key.code, false};
    if (key.shifted != 0) map[static_cast<unsigned char>(key.shifted)] = {key.code, true};
  }
  return map;
}
constexpr std::array<Key, 128> kKeyMap = make_key_map();

Key key_for(UChar32 c) {
  if (c >= 0x09 && c <= 0x7E) return kKeyMap[static_cast<std::size_t>(c)];
  return {};
}

class Keyboard {
 public:
  Keyboard(CGEventSourceRef source, pid_t pid) : source_(source), pid_(pid) {}

  void post_shift(bool down) {
    auto event = CFRef<CGEventRef>::adopt(CGEventCreateKeyboardEvent(source_, kShiftKey, down));
    if (event) post(event.get());
  }

  // One press and release of `key` carrying `units`; an event that cannot be made ends the
  // press there.
  void press(CGKeyCode key, const UniChar* units, UniCharCount count) {
    auto down = CFRef<CGEventRef>::adopt(CGEventCreateKeyboardEvent(source_, key, true));
    if (!down) return;
    CGEventKeyboardSetUnicodeString(down.get(), count, units);
    post(down.get());
    auto up = CFRef<CGEventRef>::adopt(CGEventCreateKeyboardEvent(source_, key, false));
    if (!up) return;
    CGEventKeyboardSetUnicodeString(up.get(), count, units);
    post(up.get());
  }

 private:
  void post(CGEventRef event) {
    CGEventPostToPid(pid_, event);
    platform::sleep_for(kEventInterval);
  }

  CGEventSourceRef source_;
  pid_t pid_;
};

}  // namespace

Result<void> AXElement::type_text(AXUIElementRef element, std::string_view text,
                                  bool background_requested) {
  if (background_requested)
    return AXError(AXErrorKind::ActionNotSupportedInBackground, "Text input requires FOCUS mode");
  pid_t pid = 0;
  if (element == nullptr || AXUIElementGetPid(element, &pid) != kAXErrorSuccess)
    return AXError(AXErrorKind::MacOSApiError, "Failed to get PID");
  auto source =
      CFRef<CGEventSourceRef>::adopt(CGEventSourceCreate(kCGEventSourceStateHIDSystemState));
  if (!source) return AXError(AXErrorKind::ActionFailed, "Failed to create event source");

  Keyboard keyboard(source.get(), pid);
  const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
  // Offsets as wide as the text: a text of 2 GiB or more is typed whole.
  auto length = static_cast<std::int64_t>(text.size());
  for (std::int64_t i = 0; i < length;) {
    UChar32 c = 0;
    U8_NEXT_OR_FFFD(data, i, length, c);
    Key key = key_for(c);
    // A character beyond the first 65,536 travels as its surrogate pair, whole in each event.
    char16_t pair[2] = {};
    auto count = static_cast<UniCharCount>(text::utf16_units(static_cast<char32_t>(c), pair));
    const UniChar units[2] = {pair[0], pair[1]};
    if (key.shift) keyboard.post_shift(true);
    keyboard.press(key.code, units, count);
    if (key.shift) keyboard.post_shift(false);
  }
  return {};
}

}  // namespace pelorix
