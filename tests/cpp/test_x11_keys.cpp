// The keys the parser accepts and the X11 desktop's table of Apple key codes agree: every key
// has a keysym there, and it is the keysym the key's own X name stands for.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include "element/keys.h"
#include "platform/atspi/x11_input.h"

namespace pelorix {
namespace {

TEST(X11Keys, EveryParsedKeyReachesItsOwnKeysym) {
  auto names = keys::known_key_names();
  ASSERT_GT(names.size(), 150u);
  for (const std::string& name : names) {
    auto chord = keys::parse_chord(name);
    ASSERT_TRUE(chord.ok()) << name << ": " << chord.error().message;
    auto keysym = platform::atspi::x11::keysym_for_mac_key(chord->key_code);
    ASSERT_TRUE(keysym.has_value()) << name << " (key code " << chord->key_code << ")";
    // A shifted character is its unshifted key with Shift; Meta is pressed as Super.
    bool shifted = !chord->modifiers.empty();
    if (shifted || name.rfind("Meta_", 0) == 0) continue;
    std::string x_name = name == " " ? "space" : name;
    EXPECT_EQ(*keysym, XStringToKeysym(x_name.c_str())) << name;
  }
}

}  // namespace
}  // namespace pelorix
