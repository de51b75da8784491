#include <gtest/gtest.h>

#include <string>

#include "util/unicode.h"

namespace pelorix {
namespace {

using unicode::Category;

struct Character {
  char32_t c;
  Category category;
  bool white_space;
  bool grapheme_extend;
};

class Properties : public testing::TestWithParam<Character> {};

TEST_P(Properties, AsTheUnicodeCharacterDatabaseSays) {
  const Character& expected = GetParam();
  EXPECT_EQ(unicode::category(expected.c), expected.category);
  EXPECT_EQ(unicode::is_white_space(expected.c), expected.white_space);
  EXPECT_EQ(unicode::is_grapheme_extend(expected.c), expected.grapheme_extend);
}

INSTANTIATE_TEST_SUITE_P(
    Characters, Properties,
    testing::Values(
        Character{U'A', Category::Lu, false, false}, Character{U'\t', Category::Cc, true, false},
        Character{U'\x0E', Category::Cc, false, false},  // a control, not a space
        Character{0x85, Category::Cc, true, false},      // next line
        Character{0xA0, Category::Zs, true, false},
        Character{0x180E, Category::Cf, false, false},  // no space since Unicode 6.3
        Character{0x200B, Category::Cf, false, false},  // zero-width space
        Character{0x2028, Category::Zl, true, false}, Character{0x2029, Category::Zp, true, false},
        Character{0x3000, Category::Zs, true, false}, Character{0x0301, Category::Mn, false, true},
        Character{0x20DD, Category::Me, false, true},
        Character{0x0903, Category::Mc, false, false},  // a spacing mark
        Character{0x200C, Category::Cf, false, true},   // the non-joiner extends
        Character{0x200D, Category::Cf, false, false},  // the joiner does not
        Character{0xFF9E, Category::Lm, false, true},
        // Skin tones join graphemes as emoji modifiers, not as extenders.
        Character{0x1F3FB, Category::Sk, false, false},
        Character{0x1F3FF, Category::Sk, false, false},
        Character{0xD800, Category::Cs, false, false},
        Character{0xE000, Category::Co, false, false},
        Character{0x10FFFF, Category::Cn, false, false},
        Character{0x110000, Category::Cn, false, false},  // beyond the code space
        Character{0xFFFFFFFF, Category::Cn, false, false}));

TEST(Properties, UnicodeVersionOfTheTables) {
  // The escaping in queries' debug forms follows these tables; this records their version.
  std::string version(unicode::version());
  EXPECT_GE(std::stoi(version), 13) << version;
  RecordProperty("unicode_version", version);
}

}  // namespace
}  // namespace pelorix
