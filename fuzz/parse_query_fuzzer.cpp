// parse_query on any bytes: deterministic, blind to surrounding white space, and each form
// keeps its shape.
#include <string>

#include "app/query.h"
#include "util/text.h"
#include "invariant.h"

using pelorix::parse_query;
using pelorix::SearchCriteria;

namespace {

bool same(const SearchCriteria& a, const SearchCriteria& b) {
  return a.role == b.role && a.title == b.title && a.identifier == b.identifier &&
         a.label == b.label;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, unsigned long size) {
  std::string query(reinterpret_cast<const char*>(data), size);
  auto first = parse_query(query);
  auto again = parse_query(query);
  auto padded = parse_query(" \t" + query + "\xE3\x80\x80\n");
  FUZZ_CHECK(first.ok() == again.ok() && first.ok() == padded.ok());
  if (!first.ok()) {
    FUZZ_CHECK(first.error().message().rfind("Invalid query: Unknown key: ", 0) == 0);
    FUZZ_CHECK(first.error().message() == padded.error().message());
    return 0;
  }
  FUZZ_CHECK(same(*first, *again) && same(*first, *padded));
  std::string debug = first->debug_form();
  FUZZ_CHECK(debug.rfind("SearchCriteria { role: ", 0) == 0);
  FUZZ_CHECK(debug.size() >= 2 && debug.compare(debug.size() - 2, 2, " }") == 0);
  std::string_view q = pelorix::text::trim_white_space(query);
  bool path = q.size() >= 2 && q.substr(0, 2) == "//";
  if (!path && q.find(':') == std::string_view::npos) {
    // Plain text constrains title, identifier and label alike, and never the role.
    FUZZ_CHECK(!first->role && first->title == std::string(q) &&
               first->identifier == first->title && first->label == first->title);
  } else if (path) {
    // A filter value ends at the first ']' after its "[@"; the role ends at the first '['.
    for (const auto* field : {&first->title, &first->identifier, &first->label})
      if (*field) FUZZ_CHECK(field->value().find(']') == std::string::npos);
    if (first->role) FUZZ_CHECK(first->role->find('[') == std::string::npos);
  } else {
    // Key-value values are single tokens.
    for (const auto* field : {&first->role, &first->title, &first->identifier, &first->label})
      if (*field) FUZZ_CHECK(pelorix::text::trim_white_space(field->value()) == field->value());
  }
  return 0;
}
