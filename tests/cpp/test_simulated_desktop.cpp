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

std::u16string units_of(CFTypeRef string) {
  std::u16string out(static_cast<std::size_t>(CFStringGetLength(static_cast<CFStringRef>(string))),
                     u'\0');
  CFStringGetCharacters(static_cast<CFStringRef>(string),
                        CFRangeMake(0, static_cast<CFIndex>(out.size())),
                        reinterpret_cast<UniChar*>(out.data()));
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

struct ValueCase {
  const char* name;
  json encoding;
  AXError status;
  std::function<void(CFTypeRef)> check;
};

void PrintTo(const ValueCase& c, std::ostream* os) {
  *os << c.name;
}

class ValueEncodingTest : public SimulatedDesktopTest,
                          public ::testing::WithParamInterface<ValueCase> {};

TEST_P(ValueEncodingTest, ReadsBackAsFreshOwnedObject) {
  const ValueCase& c = GetParam();
  app(10, {{"AXValue", c.encoding}});
  Owned element = root(10);
  Owned first, second;
  ASSERT_EQ(read(element.get(), "AXValue", &first), c.status);
  ASSERT_EQ(read(element.get(), "AXValue", &second), c.status);
  c.check(first.get());
  if (first != nullptr && CFGetTypeID(first.get()) != CFBooleanGetTypeID()) {
    // Every read hands out a new object that only the caller holds.
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(CFGetRetainCount(first.get()), 1);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, ValueEncodingTest,
    ::testing::Values(
        ValueCase{"ascii", "Save", kAXErrorSuccess,
                  [](CFTypeRef v) {
                    EXPECT_STREQ(
                        CFStringGetCStringPtr(static_cast<CFStringRef>(v), kCFStringEncodingUTF8),
                        "Save");
                  }},
        ValueCase{"non_ascii", "Gr\u00fc\u00dfe \U0001F600", kAXErrorSuccess,
                  [](CFTypeRef v) {
                    EXPECT_EQ(
                        CFStringGetCStringPtr(static_cast<CFStringRef>(v), kCFStringEncodingUTF8),
                        nullptr);
                    EXPECT_EQ(units_of(v), u"Gr\u00fc\u00dfe \U0001F600");
                  }},
        ValueCase{"lone_surrogate",
                  {{"utf16", {0x41, 0xD800, 0x42}}},
                  kAXErrorSuccess,
                  [](CFTypeRef v) {
                    EXPECT_EQ(units_of(v), std::u16string({u'A', 0xD800, u'B'}));
                  }},
        ValueCase{"boolean", true, kAXErrorSuccess,
                  [](CFTypeRef v) { EXPECT_EQ(v, static_cast<CFTypeRef>(kCFBooleanTrue)); }},
        ValueCase{"integer", -7, kAXErrorSuccess,
                  [](CFTypeRef v) {
                    std::int64_t n = 0;
                    ASSERT_FALSE(CFNumberIsFloatType(static_cast<CFNumberRef>(v)));
                    CFNumberGetValue(static_cast<CFNumberRef>(v), kCFNumberSInt64Type, &n);
                    EXPECT_EQ(n, -7);
                  }},
        ValueCase{"array",
                  {{"array", {"a", {{"point", {5, 6}}}, false}}},
                  kAXErrorSuccess,
                  [](CFTypeRef v) {
                    auto array = static_cast<CFArrayRef>(v);
                    ASSERT_EQ(CFArrayGetCount(array), 3);
                    EXPECT_EQ(utf8_of(CFArrayGetValueAtIndex(array, 0)), "a");
                    EXPECT_EQ(
                        AXValueGetType(static_cast<AXValueRef>(CFArrayGetValueAtIndex(array, 1))),
                        kAXValueCGPointType);
                    EXPECT_EQ(CFArrayGetValueAtIndex(array, 2), kCFBooleanFalse);
                  }},
        ValueCase{"status",
                  {{"status", kAXErrorCannotComplete}},
                  kAXErrorCannotComplete,
                  [](CFTypeRef v) { EXPECT_EQ(v, nullptr); }}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

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

TEST_F(SimulatedDesktopTest, RemovedNodesAnswerInvalidElement) {
  auto ids = app(30, {}, {"gone"});
  call(
      {{"command", "add_nodes"}, {"parent", ids[1]}, {"nodes", {{{"actions", {{"AXPress", 0}}}}}}});
  Owned element = root(30), child, grandchild;
  ASSERT_EQ(read(element.get(), "AXChildren", &child), kAXErrorSuccess);
  Owned gone(CFRetain(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(child.get()), 0)));
  ASSERT_EQ(read(gone.get(), "AXChildren", &child), kAXErrorSuccess);
  grandchild.reset(CFRetain(CFArrayGetValueAtIndex(static_cast<CFArrayRef>(child.get()), 0)));
  auto ax = [](const Owned& e) { return static_cast<AXUIElementRef>(e.get()); };
  ASSERT_EQ(
      AXUIElementPerformAction(ax(grandchild), static_cast<CFStringRef>(text("AXPress").get())),
      kAXErrorSuccess);

  call({{"command", "remove"}, {"node", ids[1]}});
  Owned unknown(AXUIElementCreateApplication(31));  // no application has that pid
  for (const Owned* e : {&gone, &grandchild, &unknown}) {
    Owned value;
    pid_t pid = -1;
    EXPECT_EQ(read(e->get(), "AXTitle", &value), kAXErrorInvalidUIElement);
    EXPECT_EQ(value, nullptr);
    EXPECT_EQ(AXUIElementPerformAction(ax(*e), static_cast<CFStringRef>(text("AXPress").get())),
              kAXErrorInvalidUIElement);
    EXPECT_EQ(AXUIElementSetAttributeValue(ax(*e), static_cast<CFStringRef>(text("AXValue").get()),
                                           kCFBooleanTrue),
              kAXErrorInvalidUIElement);
    EXPECT_EQ(AXUIElementGetPid(ax(*e), &pid), kAXErrorInvalidUIElement);
  }
  ASSERT_EQ(read(element.get(), "AXChildren", &child), kAXErrorSuccess);
  EXPECT_EQ(CFArrayGetCount(static_cast<CFArrayRef>(child.get())), 0);

  // Ids are never reused, so an element kept across a reset cannot reach a new node.
  call({{"command", "reset"}});
  auto fresh = app(30);
  EXPECT_GT(fresh[0], ids.back());
  Owned value;
  EXPECT_EQ(read(element.get(), "AXRole", &value), kAXErrorInvalidUIElement);
}

TEST_F(SimulatedDesktopTest, WritesAreStoredWithoutKeepingTheValue) {
  auto ids = app(50, {{"AXValue", "old"}});
  call({{"command", "set_writable"},
        {"node", ids[0]},
        {"attrs", {{"AXValue", 0}, {"AXFocused", kAXErrorCannotComplete}}}});
  Owned element = root(50);
  auto write = [&](const char* name, CFTypeRef value) {
    return AXUIElementSetAttributeValue(static_cast<AXUIElementRef>(element.get()),
                                        static_cast<CFStringRef>(text(name).get()), value);
  };
  Owned fresh = text("new");
  EXPECT_EQ(write("AXValue", fresh.get()), kAXErrorSuccess);
  EXPECT_EQ(CFGetRetainCount(fresh.get()), 1);
  fresh.reset();
  EXPECT_EQ(write("AXFocused", kCFBooleanTrue), kAXErrorCannotComplete);
  EXPECT_EQ(write("AXTitle", kCFBooleanTrue), kAXErrorAttributeUnsupported);
  CGPoint where{3, 4};
  Owned point(AXValueCreate(kAXValueCGPointType, &where));
  EXPECT_EQ(write("AXValue", point.get()), kAXErrorSuccess);
  Owned event_source(CGEventSourceCreate(kCGEventSourceStatePrivate));
  ASSERT_NE(event_source, nullptr);
  EXPECT_EQ(write("AXValue", event_source.get()), kAXErrorIllegalArgument);

  Owned value, focused;
  ASSERT_EQ(read(element.get(), "AXValue", &value), kAXErrorSuccess);
  CGPoint got{};
  ASSERT_TRUE(AXValueGetValue(static_cast<AXValueRef>(value.get()), kAXValueCGPointType, &got));
  EXPECT_EQ(got.y, 4);
  EXPECT_EQ(read(element.get(), "AXFocused", &focused), kAXErrorAttributeUnsupported);

  json writes = log("write");
  ASSERT_EQ(writes.size(), 5u);
  EXPECT_EQ(writes[0]["value"], "new");
  EXPECT_EQ(writes[1]["value"], true);
  EXPECT_EQ(writes[1]["status"], kAXErrorCannotComplete);
  EXPECT_EQ(writes[3]["value"], json({{"point", {3.0, 4.0}}}));
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
