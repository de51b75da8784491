// parse_query on any bytes: deterministic, blind to surrounding white space, and each form
// keeps its shape.
#include <string>

#include "app/query.h"
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
  // Plain text constrains title, identifier and label alike, and never the role.
  if (!first->role && first->title && first->identifier && first->label &&
      *first->title == *first->identifier) {
    FUZZ_CHECK(*first->title == *first->label);
  }
  return 0;
}
