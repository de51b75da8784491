#include "app/query.h"

#include <unicode/utf8.h>

#include <cstdio>
#include <vector>

#include "util/text.h"
#include "util/unicode.h"

namespace pelorix {
namespace {

bool is_white_space_at(std::string_view text, std::size_t at, std::size_t* width) {
  const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
  // Offsets as wide as the text: a query of 2 GiB or more is read whole.
  auto i = static_cast<std::int64_t>(at);
  UChar32 c = 0;
  U8_NEXT(data, i, static_cast<std::int64_t>(text.size()), c);
  *width = static_cast<std::size_t>(i) - at;
  return c >= 0 && unicode::is_white_space(static_cast<char32_t>(c));
}

// The pieces between runs of white space.
std::vector<std::string_view> tokens(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t start = 0, at = 0;
  while (at < text.size()) {
    std::size_t width = 0;
    if (is_white_space_at(text, at, &width)) {
      if (at > start) out.push_back(text.substr(start, at - start));
      start = at + width;
    }
    at += width;
  }
  if (text.size() > start) out.push_back(text.substr(start));
  return out;
}

std::string_view strip_quotes(std::string_view value) {
  auto is_quote = [](char c) { return c == '\'' || c == '"'; };
  while (!value.empty() && is_quote(value.front())) value.remove_prefix(1);
  while (!value.empty() && is_quote(value.back())) value.remove_suffix(1);
  return value;
}

SearchCriteria parse_path(std::string_view q) {
  SearchCriteria criteria;
  std::size_t bracket = q.find('[');
  std::string_view role = text::trim_white_space(
      q.substr(2, bracket == std::string_view::npos ? std::string_view::npos : bracket - 2));
  if (!role.empty()) criteria.role = std::string(role);
  // Each search resumes right after the previous "[@", so filters inside an earlier filter's
  // brackets are read too.
  for (std::size_t at = q.find("[@"); at != std::string_view::npos; at = q.find("[@", at + 2)) {
    std::string_view rest = q.substr(at + 2);
    std::size_t close = rest.find(']');
    if (close == std::string_view::npos) continue;
    std::string_view inner = rest.substr(0, close);
    std::size_t equals = inner.find('=');
    if (equals == std::string_view::npos) continue;
    std::string_view name = text::trim_white_space(inner.substr(0, equals));
    std::string value(strip_quotes(text::trim_white_space(inner.substr(equals + 1))));
    if (name == "AXTitle") {
      criteria.title = std::move(value);
    } else if (name == "AXIdentifier") {
      criteria.identifier = std::move(value);
    } else if (name == "AXLabel") {
      criteria.label = std::move(value);
    }
  }
  return criteria;
}

Result<SearchCriteria> parse_key_values(std::string_view q) {
  SearchCriteria criteria;
  for (std::string_view token : tokens(q)) {
    std::size_t colon = token.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view key = token.substr(0, colon);
    std::string value(token.substr(colon + 1));
    if (key == "role") {
      criteria.role = std::move(value);
    } else if (key == "title") {
      criteria.title = std::move(value);
    } else if (key == "identifier" || key == "id") {
      criteria.identifier = std::move(value);
    } else if (key == "label") {
      criteria.label = std::move(value);
    } else {
      return AXError(AXErrorKind::InvalidQuery, "Unknown key: " + std::string(key));
    }
  }
  return criteria;
}

// Printable means not a control, format, separator (but the blank), private-use or unassigned
// character.
bool is_printable(UChar32 c) {
  switch (unicode::category(static_cast<char32_t>(c))) {
    case unicode::Category::Cc:
    case unicode::Category::Cf:
    case unicode::Category::Zl:
    case unicode::Category::Zp:
    case unicode::Category::Co:
    case unicode::Category::Cs:
    case unicode::Category::Cn:
      return false;
    case unicode::Category::Zs:
      return c == ' ';
    default:
      return true;
  }
}

void append_code_point_escape(std::string& out, UChar32 c) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "\\u{%x}", static_cast<unsigned>(c));
  out += buffer;
}

void append_field(std::string& out, const char* name, const std::optional<std::string>& value) {
  out += name;
  out += ": ";
  if (value) {
    out += "Some(";
    out += debug_quoted(*value);
    out += ')';
  } else {
    out += "None";
  }
}

}  // namespace

std::string debug_quoted(std::string_view text) {
  std::string out = "\"";
  const auto* data = reinterpret_cast<const std::uint8_t*>(text.data());
  auto length = static_cast<std::int64_t>(text.size());
  for (std::int64_t i = 0; i < length;) {
    std::int64_t start = i;
    UChar32 c = 0;
    U8_NEXT(data, i, length, c);
    // Bytes that are not UTF-8 cannot come from Python, but show as replacement characters.
    bool ill_formed = c < 0;
    if (ill_formed) c = 0xFFFD;
    switch (c) {
      case '\t':
        out += "\\t";
        continue;
      case '\r':
        out += "\\r";
        continue;
      case '\n':
        out += "\\n";
        continue;
      case '\0':
        out += "\\0";
        continue;
      case '\\':
        out += "\\\\";
        continue;
      case '"':
        out += "\\\"";
        continue;
      default:
        break;
    }
    if (ill_formed || unicode::is_grapheme_extend(static_cast<char32_t>(c)) || !is_printable(c)) {
      append_code_point_escape(out, c);
    } else {
      out.append(text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)));
    }
  }
  out += '"';
  return out;
}

std::string SearchCriteria::debug_form() const {
  std::string out = "SearchCriteria { ";
  append_field(out, "role", role);
  out += ", ";
  append_field(out, "title", title);
  out += ", ";
  append_field(out, "identifier", identifier);
  out += ", ";
  append_field(out, "label", label);
  out += " }";
  return out;
}

Result<SearchCriteria> parse_query(std::string_view query) {
  std::string_view q = text::trim_white_space(query);
  if (q.size() >= 2 && q.substr(0, 2) == "//") return parse_path(q);
  if (q.find(':') != std::string_view::npos) return parse_key_values(q);
  SearchCriteria criteria;
  criteria.title = std::string(q);
  criteria.identifier = std::string(q);
  criteria.label = std::string(q);
  return criteria;
}

std::pair<std::string, std::string> parse_attribute_query(std::string_view query) {
  std::size_t colon = query.find(':');
  if (colon == std::string_view::npos) return {"AXTitle", std::string(query)};
  std::string_view rest = query.substr(colon + 1);
  std::string_view wanted = rest.substr(0, rest.find(':'));
  return {std::string(text::trim_white_space(query.substr(0, colon))),
          std::string(text::trim_white_space(wanted))};
}

}  // namespace pelorix
