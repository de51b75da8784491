// Key combinations as people write them ("ctrl+shift+t", "F11", "alt+asciitilde"): a pure
// parser from the text to the keys of a Mac keyboard that produce it.
//
// Key names are X keysym names ("Return", "Page_Up", "asciitilde", "a", "T"), matched exactly
// first and then without regard to case, plus the usual aliases ("enter", "esc", "PageUp",
// "ArrowLeft"). A single printable ASCII character other than '+' names its own key. Every
// key the parser accepts exists on a Mac keyboard, so a script presses the same keys on every
// platform; the X keys a Mac keyboard lacks (Print, Pause, Menu, F21 and above, ...) are
// refused by name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "error/result.h"

namespace pelorix::keys {

enum class Modifier : std::uint8_t { Shift, Control, Alt, Super };

// The macOS virtual key code of each modifier's left-hand key.
std::uint16_t modifier_key_code(Modifier modifier);
// Its name as people write it: "shift", "ctrl", "alt", "super".
std::string_view modifier_name(Modifier modifier);
// The modifier a key code is a key of (either hand), if any.
std::optional<Modifier> modifier_of_key(std::uint16_t key_code);

struct Chord {
  // In the order they are pressed: as written, then Shift when the key needs it and it was not
  // written ("asciitilde" is Shift and the grave key). Each at most once.
  std::vector<Modifier> modifiers;
  // The macOS virtual key code (US layout) of the key pressed last.
  std::uint16_t key_code = 0;
  // The key's canonical X keysym name ("Return" for "enter").
  std::string key_name;
};

// A bad combination; the message names the offending part.
struct KeyError {
  std::string message;
};

// The longest combination accepted, in bytes: far beyond any real one, short enough that a
// message quoting it stays readable.
inline constexpr std::size_t kMaxCombinationLength = 200;

// The canonical name of every key the parser knows, the single characters included.
std::vector<std::string> known_key_names();

// "mod+mod+key": '+'-separated parts, spaces around each ignored. Every part but the last must
// be a modifier (shift; ctrl/control; alt/option; super/meta/cmd/command, and the keysym names
// of their keys); the last may be any key, a modifier included ("shift" alone presses Shift).
Result<Chord, KeyError> parse_chord(std::string_view text);

}  // namespace pelorix::keys
