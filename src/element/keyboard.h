// Key combinations delivered as keyboard events to an element's process.
#pragma once

#include <cstdint>
#include <optional>

#include "accessibility/cf_ref.h"
#include "element/action_mode.h"
#include "element/keys.h"
#include "error/result.h"

namespace pelorix::keyboard {

enum class KeyAction : std::uint8_t {
  Press,  // down and up, as often as asked, the modifiers held around all of it
  Down,   // modifiers then the key, left held
  Up,     // the key then the modifiers, in reverse
};

// The most presses one call makes.
inline constexpr unsigned kMaxRepeat = 1000;

// Sends the chord to the process of `element` (an application element or any element in it).
// `mode` absent sends it as it is; FOCUS first focuses the element (an application: raises and
// focuses its main window); an explicit BACKGROUND sends it without touching the focus where the
// platform can, and is refused where it cannot. Whatever was pressed is released again when an
// event cannot be made half way through.
Result<void> send(AXUIElementRef element, const keys::Chord& chord, KeyAction action,
                  unsigned repeat, std::optional<ActionMode> mode);

// The modifier flags (CGEventFlags) of the keys held down by KeyAction::Down and not released
// yet; pointer events carry them too, so that a held Shift makes a shift-click.
std::uint64_t held_flags();

}  // namespace pelorix::keyboard
