#include <gtest/gtest.h>

#include "element/keys.h"

namespace pelorix::keys {
namespace {

using M = Modifier;

struct ChordCase {
  std::string text;
  std::vector<Modifier> modifiers;
  std::uint16_t key_code;
  std::string key_name;
};

class ParseChord : public testing::TestWithParam<ChordCase> {};

TEST_P(ParseChord, GivesTheKeysInPressOrder) {
  const ChordCase& c = GetParam();
  auto parsed = parse_chord(c.text);
  ASSERT_TRUE(parsed.ok()) << parsed.error().message;
  EXPECT_EQ(parsed->modifiers, c.modifiers);
  EXPECT_EQ(parsed->key_code, c.key_code);
  EXPECT_EQ(parsed->key_name, c.key_name);
}

INSTANTIATE_TEST_SUITE_P(
    Combinations, ParseChord,
    testing::Values(
        ChordCase{"ctrl+shift+t", {M::Control, M::Shift}, 17, "t"},
        ChordCase{"shift+ctrl+t", {M::Shift, M::Control}, 17, "t"},
        ChordCase{"F11", {}, 103, "F11"}, ChordCase{"f11", {}, 103, "F11"},
        ChordCase{"F20", {}, 90, "F20"}, ChordCase{"shift+Home", {M::Shift}, 115, "Home"},
        ChordCase{"super+Up", {M::Super}, 126, "Up"}, ChordCase{"meta+Up", {M::Super}, 126, "Up"},
        ChordCase{"cmd+q", {M::Super}, 12, "q"},
        // Keys that need Shift on the layout get it after the written modifiers.
        ChordCase{"alt+asciitilde", {M::Alt, M::Shift}, 50, "asciitilde"},
        ChordCase{"alt+~", {M::Alt, M::Shift}, 50, "asciitilde"},
        ChordCase{"shift+asciitilde", {M::Shift}, 50, "asciitilde"},
        ChordCase{"ctrl+T", {M::Control, M::Shift}, 17, "T"},
        ChordCase{"ctrl+minus", {M::Control}, 27, "minus"},
        ChordCase{"ctrl+-", {M::Control}, 27, "minus"},
        ChordCase{"ctrl+plus", {M::Control, M::Shift}, 24, "plus"},
        ChordCase{"Return", {}, 36, "Return"}, ChordCase{"enter", {}, 36, "Return"},
        ChordCase{"KP_Enter", {}, 76, "KP_Enter"}, ChordCase{"BackSpace", {}, 51, "BackSpace"},
        ChordCase{"Delete", {}, 117, "Delete"}, ChordCase{"Escape", {}, 53, "Escape"},
        ChordCase{"esc", {}, 53, "Escape"}, ChordCase{"PageDown", {}, 121, "Page_Down"},
        ChordCase{"Next", {}, 121, "Next"}, ChordCase{"ArrowLeft", {}, 123, "Left"},
        ChordCase{"space", {}, 49, "space"}, ChordCase{"Tab", {}, 48, "Tab"},
        ChordCase{" ctrl + alt + Delete ", {M::Control, M::Alt}, 117, "Delete"},
        ChordCase{"Control_L+Alt_R+a", {M::Control, M::Alt}, 0, "a"},
        ChordCase{"ctrl+control+a", {M::Control}, 0, "a"},
        // A modifier may be the key itself.
        ChordCase{"shift", {}, 56, "Shift_L"}, ChordCase{"ctrl+shift", {M::Control}, 56, "Shift_L"},
        ChordCase{"Super_R", {}, 54, "Super_R"}));

struct BadCase {
  std::string text;
  std::string message;
};

class RefuseChord : public testing::TestWithParam<BadCase> {};

TEST_P(RefuseChord, NamesTheBadPart) {
  auto parsed = parse_chord(GetParam().text);
  ASSERT_FALSE(parsed.ok());
  EXPECT_EQ(parsed.error().message, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, RefuseChord,
    testing::Values(
        BadCase{"", "Empty key combination"}, BadCase{"  ", "Empty key combination"},
        BadCase{"ctrl+foo", "Unknown key name 'foo' in 'ctrl+foo'"},
        BadCase{"ctrl++t", "Empty key name in 'ctrl++t' (write '+' as 'plus')"},
        BadCase{"ctrl+", "Empty key name in 'ctrl+' (write '+' as 'plus')"},
        BadCase{"+", "Empty key name in '+' (write '+' as 'plus')"},
        BadCase{"t+ctrl",
                "'t' in 't+ctrl' is not a modifier (shift, ctrl, alt, super): only the last key "
                "may be another key"},
        BadCase{"Print", "Key 'Print' in 'Print' is not offered: Mac keyboards have no such key"},
        BadCase{"ctrl+F21",
                "Key 'F21' in 'ctrl+F21' is not offered: Mac keyboards have no such key"},
        BadCase{"F36", "Unknown key name 'F36' in 'F36'"},
        BadCase{"\xC3\xA9", "Unknown key name '\xC3\xA9' in '\xC3\xA9'"},
        BadCase{std::string("a\0b", 3), "Unknown key name '" + std::string("a\0b", 3) + "' in '" +
                                            std::string("a\0b", 3) + "'"}));

TEST(ParseChordLimits, RefusesAnOverlongText) {
  std::string text(kMaxCombinationLength, 'a');
  EXPECT_FALSE(parse_chord(text).ok());  // unknown name, but measured first:
  auto parsed = parse_chord(text + "a");
  ASSERT_FALSE(parsed.ok());
  EXPECT_EQ(parsed.error().message, "Key combination too long: 201 bytes, at most 200");
}

// Every modifier pressed on its own key, so the release order can be checked by key code.
TEST(Modifiers, HaveDistinctKeysThatMapBack) {
  for (Modifier m : {M::Shift, M::Control, M::Alt, M::Super}) {
    EXPECT_EQ(modifier_of_key(modifier_key_code(m)), m) << modifier_name(m);
  }
  EXPECT_EQ(modifier_of_key(17), std::nullopt);
}

}  // namespace
}  // namespace pelorix::keys
