#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "platform/cf_object.h"
#include "platform/sim/desktop.h"

using namespace pelorix::platform;
using nlohmann::json;

namespace {

json request(const json& command) {
  return json::parse(sim::desktop().request(command.dump()));
}

json call(const json& command) {
  json reply = request(command);
  EXPECT_FALSE(reply.contains("error")) << command.dump() << " -> " << reply.dump();
  return reply.value("result", json());
}

struct Releaser {
  void operator()(const void* ref) const {
    if (ref != nullptr) CFRelease(ref);
  }
};
using Owned = std::unique_ptr<const void, Releaser>;

Owned text(const char* utf8) {
  return Owned(make_string(utf8));
}

AXError read(CFTypeRef element, const char* name, Owned* out) {
  CFTypeRef value = reinterpret_cast<CFTypeRef>(0x1);  // must be overwritten
  AXError status = AXUIElementCopyAttributeValue(
      static_cast<AXUIElementRef>(element), static_cast<CFStringRef>(text(name).get()), &value);
  out->reset(value);
  return status;
}

std::string utf8_of(CFTypeRef string) {
  std::string out;
  EXPECT_TRUE(string_text(static_cast<CFStringRef>(string), &out));
  return out;
}

std::uint64_t node_of(CFTypeRef element) {
  const auto* proxy = dynamic_cast<const sim::SimElement*>(object_cast<ElementObject>(element));
  return proxy == nullptr ? 0 : proxy->node();
}

class SimulatedDesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    before_ = object_counts();
    call({{"command", "use"}});
  }

  void TearDown() override {
    call({{"command", "release"}});
    ObjectCounts after = object_counts();
    for (int i = 0; i < kKindCount; ++i)
      EXPECT_EQ(after.live[i], before_.live[i]) << "live objects of kind index " << i;
    EXPECT_EQ(after.true_refs, before_.true_refs);
    EXPECT_EQ(after.false_refs, before_.false_refs);
  }

  // An app whose root has `attrs` and children titled as given; returns the ids.
  std::vector<std::uint64_t> app(pid_t pid, json attrs = json::object(),
                                 std::vector<std::string> children = {}) {
    json tree{{"attrs", attrs}, {"children", json::array()}};
    for (const auto& title : children)
      tree["children"].push_back({{"attrs", {{"AXTitle", title}}}});
    return call({{"command", "add_app"}, {"pid", pid}, {"tree", tree}})
        .get<std::vector<std::uint64_t>>();
  }

  Owned root(pid_t pid) { return Owned(AXUIElementCreateApplication(pid)); }

  json log(const char* kind) {
    json out = json::array();
    for (const json& entry : call({{"command", "log"}}))
      if (entry["kind"] == kind) out.push_back(entry);
    return out;
  }

  ObjectCounts before_{};
};

TEST_F(SimulatedDesktopTest, DefaultsFollowTheTree) {
  auto ids = app(20, {{"AXRole", "AXApplication"}}, {"one", "two"});
  Owned element = root(20);
  Owned children;
  ASSERT_EQ(read(element.get(), "AXChildren", &children), kAXErrorSuccess);
  auto array = static_cast<CFArrayRef>(children.get());
  ASSERT_EQ(CFArrayGetCount(array), 2);
  CFTypeRef second = CFArrayGetValueAtIndex(array, 1);
  EXPECT_EQ(node_of(second), ids[2]);
  EXPECT_EQ(CFGetRetainCount(second), 1);  // held by the array alone

  Owned parent, title, none;
  ASSERT_EQ(read(second, "AXParent", &parent), kAXErrorSuccess);
  EXPECT_EQ(node_of(parent.get()), ids[0]);
  ASSERT_EQ(read(second, "AXTitle", &title), kAXErrorSuccess);
  EXPECT_EQ(utf8_of(title.get()), "two");
  EXPECT_EQ(read(element.get(), "AXParent", &none), kAXErrorNoValue);
  EXPECT_EQ(read(element.get(), "AXTitle", &none), kAXErrorAttributeUnsupported);
  EXPECT_EQ(none, nullptr);

  // Reordering shows in the default children; an explicit value overrides them.
  call({{"command", "set_children"}, {"node", ids[0]}, {"children", {ids[2], ids[1]}}});
  ASSERT_EQ(read(element.get(), "AXChildren", &children), kAXErrorSuccess);
  EXPECT_EQ(node_of(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(children.get()), 0)), ids[2]);
  call({{"command", "set_attrs"},
        {"node", ids[0]},
        {"attrs", {{"AXChildren", {{"elements", json::array()}}}}}});
  ASSERT_EQ(read(element.get(), "AXChildren", &children), kAXErrorSuccess);
  EXPECT_EQ(CFArrayGetCount(static_cast<CFArrayRef>(children.get())), 0);
}

TEST_F(SimulatedDesktopTest, EqualElementsAreProxiesOfOneNode) {
  app(21, {{"AXRole", "AXApplication"}}, {"one", "two"});
  Owned element = root(21);
  Owned first, second, parent;
  ASSERT_EQ(read(element.get(), "AXChildren", &first), kAXErrorSuccess);
  ASSERT_EQ(read(element.get(), "AXChildren", &second), kAXErrorSuccess);
  auto one = CFArrayGetValueAtIndex(static_cast<CFArrayRef>(first.get()), 0);
  auto one_again = CFArrayGetValueAtIndex(static_cast<CFArrayRef>(second.get()), 0);
  auto two = CFArrayGetValueAtIndex(static_cast<CFArrayRef>(second.get()), 1);
  ASSERT_NE(one, one_again);  // two proxies, read apart
  EXPECT_TRUE(CFEqual(one, one_again));
  EXPECT_FALSE(CFEqual(one, two));
  ASSERT_EQ(read(one, "AXParent", &parent), kAXErrorSuccess);
  EXPECT_TRUE(CFEqual(parent.get(), element.get()));
  // Strings compare by their text; things of different kinds never compare equal.
  EXPECT_TRUE(CFEqual(text("one").get(), text("one").get()));
  EXPECT_FALSE(CFEqual(text("one").get(), text("One").get()));
  EXPECT_FALSE(CFEqual(text("one").get(), one));
}

TEST_F(SimulatedDesktopTest, ScheduledChangesApplyAtTheNextCall) {
  auto ids = app(70, {{"AXTitle", "before"}}, {"victim"});
  call({{"command", "schedule"},
        {"after_ms", 0},
        {"change",
         {{"command", "set_attrs"}, {"node", ids[0]}, {"attrs", {{"AXTitle", "after"}}}}}});
  call(
      {{"command", "schedule"},
       {"after_ms", 3600000},
       {"change", {{"command", "set_attrs"}, {"node", ids[0]}, {"attrs", {{"AXTitle", "late"}}}}}});
  call({{"command", "schedule"},
        {"after_ms", 0},
        {"every_ms", 2},
        {"times", 3},
        {"change", {{"command", "add_nodes"}, {"parent", ids[0]}, {"nodes", {json::object()}}}}});
  // Removing twice: the second application fails and says so in the log.
  call({{"command", "schedule"},
        {"after_ms", 0},
        {"every_ms", 1},
        {"times", 2},
        {"change", {{"command", "remove"}, {"node", ids[1]}}}});
  std::this_thread::sleep_for(std::chrono::milliseconds(20));

  Owned element = root(70), title, children;
  ASSERT_EQ(read(element.get(), "AXTitle", &title), kAXErrorSuccess);
  EXPECT_EQ(utf8_of(title.get()), "after");
  ASSERT_EQ(read(element.get(), "AXChildren", &children), kAXErrorSuccess);
  EXPECT_EQ(CFArrayGetCount(static_cast<CFArrayRef>(children.get())), 3);

  json changes = log("change");
  ASSERT_EQ(changes.size(), 6u);
  int failures = 0;
  for (const json& change : changes) failures += change.contains("error") ? 1 : 0;
  EXPECT_EQ(failures, 1);
  // The changes were applied before the read that first came after them.
  json reads = log("read");
  EXPECT_LT(changes.back()["seq"].get<int>(), reads.front()["seq"].get<int>());
}

}  // namespace
