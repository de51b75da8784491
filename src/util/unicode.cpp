#include "util/unicode.h"

#include <utf8proc.h>

#include <array>

namespace pelorix::unicode {
namespace {

// utf8proc numbers the categories in this order, Cn first.
constexpr std::array<Category, 30> kCategories = {
    Category::Cn, Category::Lu, Category::Ll, Category::Lt, Category::Lm, Category::Lo,
    Category::Mn, Category::Mc, Category::Me, Category::Nd, Category::Nl, Category::No,
    Category::Pc, Category::Pd, Category::Ps, Category::Pe, Category::Pi, Category::Pf,
    Category::Po, Category::Sm, Category::Sc, Category::Sk, Category::So, Category::Zs,
    Category::Zl, Category::Zp, Category::Cc, Category::Cf, Category::Cs, Category::Co,
};
static_assert(UTF8PROC_CATEGORY_CN == 0 && UTF8PROC_CATEGORY_CO == 29);

// utf8proc reads anything outside the code space as unassigned.
utf8proc_int32_t code_point(char32_t c) {
  return c > 0x10FFFF ? -1 : static_cast<utf8proc_int32_t>(c);
}

}  // namespace

Category category(char32_t c) {
  auto value = static_cast<std::size_t>(utf8proc_category(code_point(c)));
  return value < kCategories.size() ? kCategories[value] : Category::Cn;
}

bool is_white_space(char32_t c) {
  // White_Space is exactly the space, line and paragraph separators with the controls from tab
  // to carriage return and the next-line control (stable since the Mongolian vowel separator
  // left the spaces in Unicode 6.3).
  if ((c >= 0x09 && c <= 0x0D) || c == 0x85) return true;
  Category cat = category(c);
  return cat == Category::Zs || cat == Category::Zl || cat == Category::Zp;
}

bool is_grapheme_extend(char32_t c) {
  // The grapheme cluster break class Extend is Grapheme_Extend with the five emoji skin-tone
  // modifiers added (Unicode 11 on), which have no Grapheme_Extend of their own.
  if (c >= 0x1F3FB && c <= 0x1F3FF) return false;
  return utf8proc_get_property(code_point(c))->boundclass == UTF8PROC_BOUNDCLASS_EXTEND;
}

std::string_view version() {
  return utf8proc_unicode_version();
}

}  // namespace pelorix::unicode
