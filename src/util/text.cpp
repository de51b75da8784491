#include "util/text.h"

#include <unicode/utf16.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstdint>
#include <limits>

#include "util/unicode.h"

namespace pelorix::text {

std::string decode_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  auto length = static_cast<std::int64_t>(bytes.size());
  for (std::int64_t i = 0; i < length;) {
    std::int64_t start = i;
    UChar32 c = 0;
    U8_NEXT(data, i, length, c);  // negative for an ill-formed sequence, which it skips whole
    if (c < 0) {
      out.append("\xEF\xBF\xBD");
    } else {
      out.append(
          bytes.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
    }
  }
  return out;
}

std::string_view trim_white_space(std::string_view text) {
  // One pass forward: the end is where the last character that is no white space ends.
  const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
  // Offsets as wide as the text: one of 2 GiB or more is read whole.
  auto length = static_cast<std::int64_t>(text.size());
  std::int64_t begin = -1, end = 0;
  for (std::int64_t i = 0; i < length;) {
    std::int64_t start = i;
    UChar32 c = 0;
    U8_NEXT(data, i, length, c);
    if (c >= 0 && unicode::is_white_space(static_cast<char32_t>(c))) continue;
    if (begin < 0) begin = start;
    end = i;
  }
  if (begin < 0) return text.substr(0, 0);
  return text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
}

std::u16string utf8_to_utf16(std::string_view utf8, bool* ok) {
  std::u16string out;
  out.reserve(utf8.size());
  const auto* data = reinterpret_cast<const std::uint8_t*>(utf8.data());
  auto length = static_cast<std::int64_t>(utf8.size());
  for (std::int64_t i = 0; i < length;) {
    UChar32 c = 0;
    U8_NEXT(data, i, length, c);  // negative for anything ill-formed, surrogates included
    if (c < 0) {
      *ok = false;
      return {};
    }
    char16_t units[2];
    out.append(units, static_cast<std::size_t>(utf16_units(static_cast<char32_t>(c), units)));
  }
  *ok = true;
  return out;
}

std::string utf16_to_utf8(std::u16string_view units, bool* well_formed) {
  std::string out;
  out.reserve(units.size());
  for (std::size_t i = 0; i < units.size();) {
    int width = 0;
    char32_t c = code_point_at(units, i, &width);
    if (U_IS_SURROGATE(c)) {
      *well_formed = false;
      return {};
    }
    append_utf8(out, c);
    i += static_cast<std::size_t>(width);
  }
  *well_formed = true;
  return out;
}

char32_t code_point_at(std::u16string_view units, std::size_t i, int* width) {
  std::size_t start = i;
  UChar32 c = 0;
  U16_NEXT(units.data(), i, units.size(), c);
  *width = static_cast<int>(i - start);
  return static_cast<char32_t>(c);
}

void append_utf8(std::string& out, char32_t code_point) {
  std::uint8_t bytes[U8_MAX_LENGTH];
  std::int32_t length = 0;
  U8_APPEND_UNSAFE(bytes, length, static_cast<UChar32>(code_point));
  out.append(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(length));
}

int utf16_units(char32_t code_point, char16_t units[2]) {
  std::int32_t length = 0;
  U16_APPEND_UNSAFE(units, length, static_cast<UChar32>(code_point));
  return length;
}

std::optional<char32_t> single_code_point(std::u16string_view units) {
  if (units.empty()) return std::nullopt;
  int width = 0;
  char32_t c = code_point_at(units, 0, &width);
  if (U_IS_SURROGATE(c) || static_cast<std::size_t>(width) != units.size()) return std::nullopt;
  return c;
}

std::string_view first_line(std::string_view text) {
  std::size_t newline = text.find('\n');
  if (newline == std::string_view::npos) return text;
  std::string_view line = text.substr(0, newline);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return line;
}

std::optional<std::int32_t> parse_i32(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Accumulated as a negative number, whose range includes INT32_MIN.
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 - (c - '0');
    if (value < std::numeric_limits<std::int32_t>::min()) return std::nullopt;
  }
  if (!negative) {
    value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace pelorix::text
