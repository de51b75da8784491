// Text handling shared by the lookups and parsers: pure functions of their input.
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
// A signed 32-bit decimal: an optional sign, then digits only, without overflow.
std::optional<std::int32_t> parse_i32(std::string_view text);

}  // namespace pelorix::text
