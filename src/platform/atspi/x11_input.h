// Key combinations and pointer input through XTest, for the events pelorix makes with Apple's
// key codes and pointer event types.
#pragma once

#include <cstdint>
#include <optional>

namespace pelorix::platform::atspi::x11 {

// The X keysym of the key that a macOS virtual key code (US layout) names, without Shift.
std::optional<unsigned long> keysym_for_mac_key(std::uint16_t key_code);

// Presses or releases the key carrying the keysym, and nothing else: modifiers are keys of
// their own. A release goes out whenever this process holds the key down, whatever happened
// meanwhile; a key this process does not hold is not released. False when the keysym is on no
// key of the keyboard or there is no display.
bool key_event(unsigned long keysym, bool down);

// Whether the point is a finite point of the screen (and there is a display).
bool on_screen(double x, double y);

// Moves the pointer to the point of the root window. False when the point is not a finite
// point of the screen or there is no display.
bool move_pointer(double x, double y);

// Presses or releases the pointer button (1 left, 2 middle, 3 right) where the pointer is.
bool pointer_button(unsigned button, bool down);

// Turns the wheel where the pointer is: `lines` steps, each a press and release of button 4
// (up) or 5 (down) for the vertical wheel, 6 (left) or 7 (right) for the horizontal one.
bool scroll_wheel(bool vertical, std::int32_t lines);

}  // namespace pelorix::platform::atspi::x11
