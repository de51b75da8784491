// The few Unicode character properties the module asks about, from utf8proc's tables (a small
// library, where ICU would bring some 30 MB of data that nothing here reads).
#pragma once

#include <cstdint>
#include <string_view>

namespace pelorix::unicode {

// The General_Category values, by their two-letter names; Cn for unassigned code points and for
// anything that is no code point.
// clang-format off
enum class Category : std::uint8_t {
  Lu, Ll, Lt, Lm, Lo,
  Mn, Mc, Me,
  Nd, Nl, No,
  Pc, Pd, Ps, Pe, Pi, Pf, Po,
  Sm, Sc, Sk, So,
  Zs, Zl, Zp,
  Cc, Cf, Cs, Co, Cn,
};
// clang-format on

Category category(char32_t c);
// The White_Space property.
bool is_white_space(char32_t c);
// The Grapheme_Extend property: the marks (and a few others) that extend the character before
// them.
bool is_grapheme_extend(char32_t c);
// The Unicode version of the tables, "15.0.0" say.
std::string_view version();

}  // namespace pelorix::unicode
