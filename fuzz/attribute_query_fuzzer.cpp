// parse_attribute_query on any bytes: the attribute is what precedes the first colon and never
// holds one; without a colon the query is a title, untouched.
#include <string>

#include "app/query.h"
#include "util/text.h"
#include "invariant.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, unsigned long size) {
  std::string query(reinterpret_cast<const char*>(data), size);
  auto [attribute, wanted] = pelorix::parse_attribute_query(query);
  auto colon = query.find(':');
  if (colon == std::string::npos) {
    FUZZ_CHECK(attribute == "AXTitle" && wanted == query);
    return 0;
  }
  FUZZ_CHECK(attribute.find(':') == std::string::npos);
  FUZZ_CHECK(wanted.find(':') == std::string::npos);
  FUZZ_CHECK(attribute == pelorix::text::trim_white_space(query.substr(0, colon)));
  FUZZ_CHECK(query.find(wanted, colon) != std::string::npos);
  FUZZ_CHECK(pelorix::parse_attribute_query(query) == std::make_pair(attribute, wanted));
  return 0;
}
