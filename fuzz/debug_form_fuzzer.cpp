// The debug form of any text: nothing invisible survives unescaped, and for well-formed UTF-8
// the escapes undo exactly to the original text.
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <string>

#include "app/query.h"
#include "invariant.h"

namespace {

bool well_formed(const std::string& text) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
  auto length = static_cast<std::int32_t>(text.size());
  for (std::int32_t i = 0; i < length;) {
    UChar32 c = 0;
    U8_NEXT(data, i, length, c);
    if (c < 0) return false;
  }
  return true;
}

void append(std::string& out, UChar32 c) {
  char buffer[4];
  std::int32_t length = 0;
  U8_APPEND_UNSAFE(reinterpret_cast<std::uint8_t*>(buffer), length, c);
  out.append(buffer, static_cast<std::size_t>(length));
}

// Reads a quoted debug text back; false when it is not one.
bool unescape(const std::string& quoted, std::string* out) {
  if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') return false;
  for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
    char c = quoted[i];
    if (c == '"') return false;  // an unescaped quote would end the text early
    if (c != '\\') {
      *out += c;
      continue;
    }
    if (++i + 1 >= quoted.size() + 1) return false;
    switch (quoted[i]) {
      case 't':
        *out += '\t';
        break;
      case 'r':
        *out += '\r';
        break;
      case 'n':
        *out += '\n';
        break;
      case '0':
        *out += '\0';
        break;
      case '\\':
        *out += '\\';
        break;
      case '"':
        *out += '"';
        break;
      case 'u': {
        std::size_t close = quoted.find('}', i);
        if (quoted[i + 1] != '{' || close == std::string::npos) return false;
        append(*out,
               static_cast<UChar32>(std::stoul(quoted.substr(i + 2, close - i - 2), nullptr, 16)));
        i = close;
        break;
      }
      default:
        return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, unsigned long size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::string quoted = pelorix::debug_quoted(text);
  FUZZ_CHECK(well_formed(quoted));
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(quoted.data());
  auto length = static_cast<std::int32_t>(quoted.size());
  for (std::int32_t i = 0; i < length;) {
    UChar32 c = 0;
    U8_NEXT(bytes, i, length, c);
    FUZZ_CHECK(c >= 0x20 && c != 0x7F);
    FUZZ_CHECK(!u_hasBinaryProperty(c, UCHAR_GRAPHEME_EXTEND));
    FUZZ_CHECK(u_charType(c) != U_FORMAT_CHAR && u_charType(c) != U_UNASSIGNED);
  }
  std::string back;
  FUZZ_CHECK(unescape(quoted, &back));
  if (well_formed(text)) FUZZ_CHECK(back == text);
  return 0;
}
