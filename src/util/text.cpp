#include "util/text.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <limits>

namespace pelorix::text {

std::string decode_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  auto length = static_cast<std::int32_t>(bytes.size());
  for (std::int32_t i = 0; i < length;) {
    std::int32_t start = i;
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
  const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
  auto begin = 0;
  auto end = static_cast<std::int32_t>(text.size());
  while (begin < end) {
    std::int32_t next = begin;
    UChar32 c = 0;
    U8_NEXT(data, next, end, c);
    if (c < 0 || !u_isUWhiteSpace(c)) break;
    begin = next;
  }
  while (end > begin) {
    std::int32_t previous = end;
    UChar32 c = 0;
    U8_PREV(data, begin, previous, c);
    if (c < 0 || !u_isUWhiteSpace(c)) break;
    end = previous;
  }
  return text.substr(static_cast<std::size_t>(begin), static_cast<std::size_t>(end - begin));
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
