#include <gtest/gtest.h>

#include "app/query.h"

namespace pelorix {
namespace {

using Opt = std::optional<std::string>;
const Opt none = std::nullopt;

struct QueryCase {
  std::string query;
  Opt role, title, identifier, label;
};

class ParseQuery : public testing::TestWithParam<QueryCase> {};

TEST_P(ParseQuery, FillsTheCriteria) {
  const QueryCase& c = GetParam();
  auto parsed = parse_query(c.query);
  ASSERT_TRUE(parsed.ok()) << parsed.error().message();
  EXPECT_EQ(parsed->role, c.role);
  EXPECT_EQ(parsed->title, c.title);
  EXPECT_EQ(parsed->identifier, c.identifier);
  EXPECT_EQ(parsed->label, c.label);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ParseQuery,
    testing::Values(
        QueryCase{"  role:AXButton  ", "AXButton", none, none, none},
        QueryCase{"role:AXButton title:Save", "AXButton", "Save", none, none},
        QueryCase{"title:a:b", none, "a:b", none, none}, QueryCase{"title:", none, "", none, none},
        QueryCase{"id:x identifier:y", none, none, "y", none},
        QueryCase{"identifier:y id:x", none, none, "x", none},
        QueryCase{"Save role:AXButton", "AXButton", none, none, none},
        QueryCase{"title:Save As", none, "Save", none, none},
        QueryCase{"role:A\xE2\x80\x83title:B", "A", "B", none, none},  // an em space splits
        QueryCase{"Save", none, "Save", "Save", "Save"}, QueryCase{"", none, "", "", ""},
        QueryCase{" \t\xE3\x80\x80 ", none, "", "", ""},
        QueryCase{"//AXButton[@AXTitle='Save']", "AXButton", "Save", none, none},
        QueryCase{"//[@AXLabel= 'x y' ]", none, none, none, "x y"},
        QueryCase{"//AXButton[@AXTitle='Save'", "AXButton", none, none, none},
        QueryCase{"//AXButton[@AXRole='x']", "AXButton", none, none, none},
        QueryCase{"//AXButton[@AXTitle='A'][@AXTitle='B']", "AXButton", "B", none, none},
        QueryCase{"//AXButton[@AXTitle='']", "AXButton", "", none, none},
        QueryCase{"//AXButton[@AXTitle=\"'\"Save\"'\"]", "AXButton", "Save", none, none},
        QueryCase{"//AXButton[@AXTitle=' a \"b\" ']", "AXButton", " a \"b\" ", none, none},
        QueryCase{"//", none, none, none, none}, QueryCase{"//a:b", "a:b", none, none, none},
        QueryCase{"//AXWindow/AXButton", "AXWindow/AXButton", none, none, none},
        QueryCase{"//  AXButton [1]", "AXButton", none, none, none},
        QueryCase{"//X[@AXTitle=[@AXLabel=L]]", "X", "[@AXLabel=L", none, "L"},
        QueryCase{"//X[@AXIdentifier]", "X", none, none, none},
        QueryCase{"//X[@ AXIdentifier = id1 ]", "X", none, "id1", none}));

TEST(ParseQuery, UnknownKeysFailAndNameTheFirstOne) {
  for (auto [query, key] : {std::pair{"Role:AXButton", "Role"}, std::pair{":x", ""},
                            std::pair{"/x:y", "/x"}, std::pair{"title:a foo:b bar:c", "foo"}}) {
    auto parsed = parse_query(query);
    ASSERT_FALSE(parsed.ok()) << query;
    EXPECT_EQ(parsed.error().message(), std::string("Invalid query: Unknown key: ") + key);
  }
}

TEST(ParseAttributeQuery, SplitsAtColonsAndKeepsPlainQueriesAsTheyAre) {
  using P = std::pair<std::string, std::string>;
  EXPECT_EQ(parse_attribute_query("AXDescription: OK "), (P{"AXDescription", "OK"}));
  EXPECT_EQ(parse_attribute_query(" Save "), (P{"AXTitle", " Save "}));
  EXPECT_EQ(parse_attribute_query("AXTitle:a:b"), (P{"AXTitle", "a"}));
  EXPECT_EQ(parse_attribute_query(""), (P{"AXTitle", ""}));
  EXPECT_EQ(parse_attribute_query(":"), (P{"", ""}));
  EXPECT_EQ(parse_attribute_query("role:AXButton"), (P{"role", "AXButton"}));
}

struct Escape {
  std::string text;
  std::string written;
};

class DebugQuoted : public testing::TestWithParam<Escape> {};

TEST_P(DebugQuoted, EscapesWhatCannotBeSeen) {
  EXPECT_EQ(debug_quoted(GetParam().text), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Characters, DebugQuoted,
    testing::Values(Escape{"AXButton", "\"AXButton\""}, Escape{"a\"", "\"a\\\"\""},
                    Escape{"back\\slash", "\"back\\\\slash\""}, Escape{"it's", "\"it's\""},
                    Escape{"\t\r\n", "\"\\t\\r\\n\""}, Escape{std::string("a\0b", 3), "\"a\\0b\""},
                    Escape{"\x01\x7f", "\"\\u{1}\\u{7f}\""},
                    Escape{"caf\xC3\xA9 \xE2\x82\xAC", "\"caf\xC3\xA9 \xE2\x82\xAC\""},
                    Escape{"e\xCC\x81", "\"e\\u{301}\""},     // combining acute
                    Escape{"\xE2\x80\x8B", "\"\\u{200b}\""},  // zero-width space (Cf)
                    Escape{"\xC2\xA0|\xE2\x80\xA8", "\"\\u{a0}|\\u{2028}\""},  // separators
                    Escape{"\xEE\x80\x80", "\"\\u{e000}\""},                   // private use
                    Escape{"\xF0\x9F\x98\x80", "\"\xF0\x9F\x98\x80\""},        // emoji print as is
                    Escape{"\xE2\x80\x8D", "\"\\u{200d}\""},  // ZWJ extends graphemes
                    Escape{"\xEF\xBE\x9E", "\"\\u{ff9e}\""},  // a letter that extends graphemes
                    Escape{"\xF0\x9F\x8F\xBB", "\"\xF0\x9F\x8F\xBB\""},  // skin tone: no extender
                    Escape{"\xF4\x8F\xBF\xBF", "\"\\u{10ffff}\""},       // unassigned
                    Escape{"\xFF", "\"\\u{fffd}\""}));

TEST(DebugForm, WritesEveryFieldInOrder) {
  SearchCriteria criteria;
  criteria.role = "AXButton";
  EXPECT_EQ(
      criteria.debug_form(),
      "SearchCriteria { role: Some(\"AXButton\"), title: None, identifier: None, label: None }");
  criteria.title = "";
  criteria.label = "a\"";
  EXPECT_EQ(criteria.debug_form(),
            "SearchCriteria { role: Some(\"AXButton\"), title: Some(\"\"), identifier: None, "
            "label: Some(\"a\\\"\") }");
}

}  // namespace
}  // namespace pelorix
