// A browser's outline (everything below an element, in walk order) tells each child's share once
// the children are read: a child with an empty share is a leaf, one with a share of one element
// has that one child. Children that no walk of the listed tree could find in that order must stop
// its use, since a wrong share would hide a subtree from the search.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/atspi/bus.h"
#include "platform/atspi/outline.h"

namespace pelorix::platform::atspi {
namespace {

constexpr const char* kApp = ":1.7";

// A reply listing `paths` of `bus_name`, as Collection.GetMatches answers.
Message listing(const std::vector<std::string>& paths, const char* bus_name = kApp) {
  Message message(dbus_message_new(DBUS_MESSAGE_TYPE_METHOD_RETURN));
  DBusMessageIter args;
  DBusMessageIter items;
  dbus_message_iter_init_append(message.get(), &args);
  dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "(so)", &items);
  for (const std::string& path : paths) {
    DBusMessageIter item;
    const char* name = bus_name;
    const char* object = path.c_str();
    dbus_message_iter_open_container(&items, DBUS_TYPE_STRUCT, nullptr, &item);
    dbus_message_iter_append_basic(&item, DBUS_TYPE_STRING, &name);
    dbus_message_iter_append_basic(&item, DBUS_TYPE_OBJECT_PATH, &object);
    dbus_message_iter_close_container(&items, &item);
  }
  dbus_message_iter_close_container(&args, &items);
  return message;
}

// root: /a (/a1, /a2), /b, /c (/c1)
Outline small_tree() {
  Outline outline;
  EXPECT_TRUE(outline.take(OutlinePart::Everything,
                           listing({"/a", "/a1", "/a2", "/b", "/c", "/c1"}).get(), kApp));
  EXPECT_TRUE(outline.take(OutlinePart::NotShown, listing({"/a2"}).get(), kApp));
  EXPECT_TRUE(outline.take(OutlinePart::StatesToAsk, listing({"/c1"}).get(), kApp));
  return outline;
}

TEST(AtspiOutline, SharesOfChildrenTellLeavesAndOnlyChildren) {
  Outline outline = small_tree();
  auto spans = outline.place(outline.root(), {"/a", "/b", "/c"});
  ASSERT_TRUE(spans[0] && spans[1] && spans[2]);
  EXPECT_FALSE(spans[0]->leaf());
  EXPECT_FALSE(outline.only_child(*spans[0]));
  EXPECT_TRUE(spans[1]->leaf());
  EXPECT_EQ(outline.only_child(*spans[2]), "/c1");
  auto below_a = outline.place(*spans[0], {"/a1", "/a2"});
  ASSERT_TRUE(below_a[0] && below_a[1]);
  EXPECT_TRUE(below_a[0]->leaf() && below_a[1]->leaf());
  EXPECT_TRUE(outline.usable());
  // States: /a2 is not shown, /c1 has states that must be asked, the others are shown.
  EXPECT_TRUE(outline.knows_states_of("/a1") && outline.shown("/a1"));
  EXPECT_TRUE(outline.knows_states_of("/a2") && !outline.shown("/a2"));
  EXPECT_FALSE(outline.knows_states_of("/c1"));
  EXPECT_FALSE(outline.knows_states_of("/elsewhere"));
}

struct Misplaced {
  const char* name;
  std::vector<std::string> children;  // of the root
};

class AtspiOutlineMisplaced : public ::testing::TestWithParam<Misplaced> {};

TEST_P(AtspiOutlineMisplaced, ChildrenTheListDoesNotPlaceEndItsUse) {
  Outline outline = small_tree();
  auto spans = outline.place(outline.root(), GetParam().children);
  for (const auto& span : spans) EXPECT_FALSE(span);
  EXPECT_FALSE(outline.usable());
  EXPECT_FALSE(outline.knows_states_of("/a1"));
  // Nothing is placed from then on, not even what would fit.
  EXPECT_FALSE(outline.place(outline.root(), {"/a", "/b", "/c"})[0]);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AtspiOutlineMisplaced,
    ::testing::Values(Misplaced{"out_of_order", {"/b", "/a", "/c"}},
                      Misplaced{"first_not_first", {"/b", "/c"}},
                      Misplaced{"a_child_the_list_lacks", {"/a", "/b", "/c", "/d"}},
                      Misplaced{"none_listed", {"/elsewhere"}}),
    [](const testing::TestParamInfo<Misplaced>& param) { return std::string(param.param.name); });

TEST(AtspiOutline, AListCutShortTellsOnlyTheSharesBeforeTheCut) {
  // Row r holds one cell; the list stops inside the rows.
  std::vector<std::string> paths;
  for (int row = 0; static_cast<dbus_int32_t>(paths.size()) < kMaxOutline; ++row) {
    paths.push_back("/row" + std::to_string(row));
    paths.push_back("/cell" + std::to_string(row));
  }
  Outline outline;
  ASSERT_TRUE(outline.take(OutlinePart::Everything, listing(paths).get(), kApp));
  EXPECT_TRUE(outline.take(OutlinePart::NotShown, listing(paths).get(), kApp));
  EXPECT_FALSE(outline.root().end_known);
  std::vector<std::string> rows;
  for (int row = 0; row < kMaxOutline; ++row) rows.push_back("/row" + std::to_string(row));
  auto spans = outline.place(outline.root(), rows);
  EXPECT_TRUE(outline.usable());
  ASSERT_TRUE(spans[0] && spans[0]->end_known);
  EXPECT_EQ(outline.only_child(*spans[0]), "/cell0");
  // The last row the list reaches may go on past the cut; the rows after it are not placed.
  const std::size_t last = kMaxOutline / 2 - 1;
  ASSERT_TRUE(spans[last]);
  EXPECT_FALSE(spans[last]->end_known);
  EXPECT_FALSE(outline.only_child(*spans[last]));
  EXPECT_FALSE(spans[last + 1]);
  // A cut list of states tells no element's states.
  EXPECT_FALSE(outline.knows_states_of("/row0"));
}

TEST(AtspiOutline, OtherApplicationsAndRepeatsAreNoOutline) {
  Outline foreign;
  ASSERT_TRUE(foreign.take(OutlinePart::Everything, listing({"/a"}, ":1.99").get(), kApp));
  // The element of another application is not listed: the one child of this one's is no
  // child the list places.
  EXPECT_FALSE(foreign.place(foreign.root(), {"/a"})[0]);
  Outline repeated;
  EXPECT_FALSE(repeated.take(OutlinePart::Everything, listing({"/a", "/b", "/a"}).get(), kApp));
  EXPECT_FALSE(repeated.usable());
  Outline error;
  Message failed(dbus_message_new(DBUS_MESSAGE_TYPE_ERROR));
  EXPECT_FALSE(error.take(OutlinePart::Everything, failed.get(), kApp));
  EXPECT_FALSE(error.take(OutlinePart::Everything, nullptr, kApp));
  EXPECT_FALSE(error.usable());
}

}  // namespace
}  // namespace pelorix::platform::atspi
