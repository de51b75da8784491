// The real desktop's translation tables: consistent among themselves, and what
// docs/atspi-mapping.md says they are.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/atspi/mapping.h"

namespace pelorix::platform::atspi {
namespace {

std::string role_name(AtspiRole role) {
  gchar* name = atspi_role_get_name(role);
  std::string text = name != nullptr ? name : "";
  g_free(name);
  return text;
}

std::string state_name(AtspiStateType state) {
  auto* type = static_cast<GEnumClass*>(g_type_class_ref(atspi_state_type_get_type()));
  GEnumValue* value = g_enum_get_value(type, state);
  std::string text = value != nullptr ? value->value_nick : "";
  g_type_class_unref(type);
  return text;
}

std::string status_name(::AXError status) {
  switch (status) {
    case kAXErrorCannotComplete:
      return "kAXErrorCannotComplete";
    case kAXErrorInvalidUIElement:
      return "kAXErrorInvalidUIElement";
    case kAXErrorFailure:
      return "kAXErrorFailure";
    default:
      return std::to_string(status);
  }
}

std::string trim(std::string text) {
  auto first = text.find_first_not_of(' ');
  auto last = text.find_last_not_of(' ');
  return first == std::string::npos ? "" : text.substr(first, last - first + 1);
}

std::vector<std::string> split(const std::string& text, const std::string& separator) {
  std::vector<std::string> parts;
  std::size_t at = 0;
  for (std::size_t next; (next = text.find(separator, at)) != std::string::npos;
       at = next + separator.size())
    parts.push_back(trim(text.substr(at, next - at)));
  parts.push_back(trim(text.substr(at)));
  return parts;
}

// The two cells of each body row of the tables under the heading `heading`, up to the next
// heading of the same or a higher level.
std::vector<std::pair<std::string, std::string>> table_rows(const std::string& heading) {
  std::ifstream in(std::string(PELORIX_SOURCE_DIR) + "/docs/atspi-mapping.md");
  EXPECT_TRUE(in) << "docs/atspi-mapping.md";
  std::vector<std::pair<std::string, std::string>> rows;
  std::string level = heading.substr(0, heading.find(' ') + 1);
  bool inside = false;
  bool header = true;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind('#', 0) == 0) {
      std::string hashes = line.substr(0, line.find(' ') + 1);
      if (inside && hashes.size() <= level.size()) break;
      if (line == heading) inside = true;
      continue;
    }
    if (!inside) continue;
    // A table is a header row, a separator row, then the body rows.
    if (line.rfind("|---", 0) == 0) {
      header = false;
      continue;
    }
    if (line.rfind("| ", 0) != 0 || header) {
      header = true;
      continue;
    }
    auto cells = split(line.substr(1, line.size() - 2), " | ");
    rows.emplace_back(cells.at(0), cells.at(1));
  }
  EXPECT_FALSE(rows.empty()) << heading;
  return rows;
}

std::string without_note(const std::string& text) {
  auto open = text.find(" (");
  return open == std::string::npos ? text : text.substr(0, open);
}

TEST(AtspiRoles, EachRoleHasOneTranslation) {
  std::set<AtspiRole> seen;
  for (const RoleMapping& mapping : kRoles) {
    EXPECT_TRUE(seen.insert(mapping.role).second) << role_name(mapping.role);
    EXPECT_EQ(mapping.ax_role.rfind("AX", 0), 0u);
  }
  for (AtspiRole role : kGroupRoles) {
    EXPECT_TRUE(seen.insert(role).second) << role_name(role);
    EXPECT_EQ(mapped_role(role, false), "");
  }
  // The roles the reads and actions treat specially are widgets with an AX role of their own.
  for (auto roles :
       {std::span<const AtspiRole>(kEditableTextRoles), std::span<const AtspiRole>(kLabelRoles),
        std::span<const AtspiRole>(kOtherTextRoles), std::span<const AtspiRole>(kCheckableRoles),
        std::span<const AtspiRole>(kClickableRoles)})
    for (AtspiRole role : roles) EXPECT_NE(mapped_role(role, false), "") << role_name(role);
}

TEST(AtspiRoles, MultiLineDecidesOnlyForTextAndEntries) {
  EXPECT_EQ(mapped_role(ATSPI_ROLE_TEXT, false), "AXTextField");
  EXPECT_EQ(mapped_role(ATSPI_ROLE_TEXT, true), "AXTextArea");
  // A web page's text area: an entry that takes several lines.
  EXPECT_EQ(mapped_role(ATSPI_ROLE_ENTRY, false), "AXTextField");
  EXPECT_EQ(mapped_role(ATSPI_ROLE_ENTRY, true), "AXTextArea");
  EXPECT_EQ(mapped_role(ATSPI_ROLE_PASSWORD_TEXT, true), "AXTextField");
  EXPECT_EQ(mapped_role(ATSPI_ROLE_PUSH_BUTTON, true), "AXButton");
  EXPECT_EQ(mapped_role(ATSPI_ROLE_UNKNOWN, false), "");
  EXPECT_TRUE(role_in(kGroupRoles, ATSPI_ROLE_FILLER));
  EXPECT_FALSE(role_in(kGroupRoles, ATSPI_ROLE_UNKNOWN));
}

TEST(AtspiRoles, TheDocumentedTableIsTheTable) {
  std::map<std::string, std::string> expected;
  for (const RoleMapping& mapping : kRoles) {
    std::string name = role_name(mapping.role);
    if (mapping.multi_line_ax_role.empty()) {
      expected[name] = mapping.ax_role;
    } else {
      expected[name + " without the multi-line state"] = mapping.ax_role;
      expected[name + " with the multi-line state"] = mapping.multi_line_ax_role;
    }
  }
  for (AtspiRole role : kGroupRoles) expected[role_name(role)] = "AXGroup";

  std::map<std::string, std::string> documented;
  for (const auto& [roles, ax_role] : table_rows("## Roles (\"AXRole\")")) {
    if (roles.rfind("any other role", 0) == 0) {
      EXPECT_EQ(ax_role, "AXWindow");
      continue;
    }
    if (roles == "everything else") {
      EXPECT_EQ(ax_role, "AXUnknown");
      continue;
    }
    for (const std::string& item : split(roles, ", ")) {
      std::string key = without_note(item);
      if (item.find("multi-line state") != std::string::npos)
        key += " " + item.substr(key.size() + 2, item.size() - key.size() - 3);
      EXPECT_TRUE(documented.emplace(key, ax_role).second) << "documented twice: " << key;
    }
  }
  EXPECT_EQ(documented, expected);
}

TEST(AtspiStates, TheDocumentedBooleanAttributesAreTheTable) {
  std::map<std::string, std::set<std::string>> expected;
  for (const StateAttribute& entry : kStateAttributes) {
    auto& states = expected[std::string(entry.attribute)];
    states.insert(state_name(entry.state));
    if (entry.other_state != ATSPI_STATE_INVALID) states.insert(state_name(entry.other_state));
  }
  std::map<std::string, std::set<std::string>> documented;
  for (const auto& [attribute, states] : table_rows("### Attributes read from states")) {
    for (const std::string& state : split(without_note(states), " or "))
      documented[attribute].insert(state);
  }
  EXPECT_EQ(documented, expected);
}

TEST(AtspiHidden, OnlyWhatLacksTheShownStateAndIsNoMenuIsHidden) {
  EXPECT_TRUE(is_hidden(ATSPI_ROLE_TEXT, false));        // galculator's formula entry
  EXPECT_TRUE(is_hidden(ATSPI_ROLE_PANEL, false));       // a closed popover
  EXPECT_TRUE(is_hidden(ATSPI_ROLE_FRAME, false));       // a dialog Qt keeps for later
  EXPECT_FALSE(is_hidden(ATSPI_ROLE_MENU_ITEM, false));  // an item of a closed Qt menu
  EXPECT_FALSE(is_hidden(ATSPI_ROLE_POPUP_MENU, false));
  for (const RoleMapping& mapping : kRoles) EXPECT_FALSE(is_hidden(mapping.role, true));
}

TEST(AtspiHidden, TheDocumentedRuleIsTheTable) {
  std::vector<std::string> kept;
  for (AtspiRole role : kKeptWhileHiddenRoles) kept.push_back(role_name(role));
  auto rows = table_rows("### Hidden elements");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].second, state_name(kShownState));
  EXPECT_EQ(split(rows[1].second, ", "), kept);
}

struct ErrorText {
  std::string message;
  ::AXError status;
};

class AtspiStatuses : public testing::TestWithParam<ErrorText> {};

TEST_P(AtspiStatuses, FollowTheErrorText) {
  EXPECT_EQ(status_of_text(GetParam().message), GetParam().status) << GetParam().message;
}

INSTANTIATE_TEST_SUITE_P(
    Messages, AtspiStatuses,
    testing::Values(
        ErrorText{"org.freedesktop.DBus.Error.NoReply: Did not receive a reply.",
                  kAXErrorCannotComplete},
        ErrorText{"Connection timed out", kAXErrorCannotComplete},
        ErrorText{"org.freedesktop.DBus.Error.UnknownObject: Unknown object "
                  "'/org/a11y/atspi/accessible/12'.",
                  kAXErrorInvalidUIElement},
        ErrorText{"The application no longer exists", kAXErrorInvalidUIElement},
        ErrorText{"org.freedesktop.DBus.Error.ServiceUnknown: The name :1.42 was not provided "
                  "by any .service files",
                  kAXErrorInvalidUIElement},
        // A reply that never came outweighs whatever else the text says.
        ErrorText{"Timeout waiting for UnknownObject", kAXErrorCannotComplete},
        ErrorText{"org.freedesktop.DBus.Error.Failed: no such property", kAXErrorFailure},
        ErrorText{"", kAXErrorFailure}));

TEST(AtspiStatusTable, TheDocumentedErrorTextsAreTheTableInItsOrder) {
  std::vector<std::pair<std::string, std::string>> expected;
  for (const StatusFragment& entry : kStatusFragments)
    expected.emplace_back("`" + std::string(entry.fragment) + "`", status_name(entry.status));
  EXPECT_EQ(table_rows("### Error texts"), expected);
}

}  // namespace
}  // namespace pelorix::platform::atspi
