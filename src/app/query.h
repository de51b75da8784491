// The query language of the find operations: pure functions of the query text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "error/result.h"

namespace pelorix {

// What an element must have; every present field must hold. Absent fields constrain nothing.
struct SearchCriteria {
  std::optional<std::string> role;        // AXRole equals
  std::optional<std::string> title;       // AXTitle contains
  std::optional<std::string> identifier;  // AXIdentifier equals
  std::optional<std::string> label;       // AXLabel contains

  // SearchCriteria { role: Some("AXButton"), title: None, ... } with the values escaped so
  // that invisible and combining characters show.
  std::string debug_form() const;
};

// "//Role[@AXTitle='x']", "role:R title:T id:I label:L", or plain text matched against title,
// identifier and label at once. Fails only on an unknown key of the key-value form.
Result<SearchCriteria> parse_query(std::string_view query);

// "Attribute:text" (the attribute name used verbatim), or a title to look for.
std::pair<std::string, std::string> parse_attribute_query(std::string_view query);

// A text as the debug form writes it, quotes included.
std::string debug_quoted(std::string_view text);

}  // namespace pelorix
