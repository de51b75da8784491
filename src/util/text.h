// Text handling shared by the domain and the platform layer: pure functions of their input,
// built on ICU's UTF-8 and UTF-16 macros.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelorix::text {

// Bytes as UTF-8, each ill-formed sequence replaced by U+FFFD.
std::string decode_lossy(std::string_view bytes);
// Without the characters of the Unicode White_Space property at either end. The input must be
// well-formed UTF-8.
std::string_view trim_white_space(std::string_view text);
// Up to the first line feed, without one carriage return before it.
std::string_view first_line(std::string_view text);
// Well-formed UTF-8 as UTF-16; empty with *ok false for anything ill-formed (truncated,
// overlong, surrogate or beyond U+10FFFF).
std::u16string utf8_to_utf16(std::string_view utf8, bool* ok);
// Well-formed UTF-16 as UTF-8; empty with *well_formed false when a surrogate is unpaired.
std::string utf16_to_utf8(std::u16string_view units, bool* well_formed);
// The code point starting at `i` among the units, and how many units it takes; an unpaired
// surrogate yields itself with width 1.
char32_t code_point_at(std::u16string_view units, std::size_t i, int* width);
// Appends the UTF-8 form of a code point that is no surrogate.
void append_utf8(std::string& out, char32_t code_point);
// The UTF-16 units of a code point: one, or a surrogate pair; how many are written.
int utf16_units(char32_t code_point, char16_t units[2]);
// The code point of units that are exactly one character: one unit that is no surrogate, or a
// surrogate pair.
std::optional<char32_t> single_code_point(std::u16string_view units);

// A signed 32-bit decimal: an optional sign, then digits only, without overflow.
std::optional<std::int32_t> parse_i32(std::string_view text);

}  // namespace pelorix::text
