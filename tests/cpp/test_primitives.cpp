#include <gtest/gtest.h>

#include <map>

#include "accessibility/primitives.h"
#include "counting.h"
#include "platform/backend.h"

namespace pelorix {
namespace {

using namespace accessibility;
using testing_support::LiveObjects;

// An element that answers each attribute with a programmed status and value, and remembers
// what was done to it.
class FakeElement final : public platform::ElementObject {
 public:
  struct Answer {
    ::AXError status = kAXErrorSuccess;
    CFRef<CFTypeRef> value;
  };
  mutable std::map<std::string, Answer> answers;
  mutable std::map<std::string, ::AXError> action_statuses;
  mutable std::vector<std::string> performed;
  mutable CFTypeRef written = nullptr;

  ::AXError copy_attribute_value(const std::string& name, CFTypeRef* value) const override {
    auto found = answers.find(name);
    if (found == answers.end()) return kAXErrorAttributeUnsupported;
    if (found->second.status != kAXErrorSuccess) return found->second.status;
    *value = found->second.value ? CFRetain(found->second.value.get()) : nullptr;
    return kAXErrorSuccess;
  }
  ::AXError set_attribute_value(const std::string& name, CFTypeRef value) const override {
    written = value;
    auto found = answers.find(name);
    return found == answers.end() ? kAXErrorAttributeUnsupported : found->second.status;
  }
  ::AXError perform_action(const std::string& action) const override {
    performed.push_back(action);
    auto found = action_statuses.find(action);
    return found == action_statuses.end() ? kAXErrorActionUnsupported : found->second;
  }
  ::AXError get_pid(pid_t* pid) const override {
    *pid = 42;
    return kAXErrorSuccess;
  }
  AXUIElementRef ref() const { return static_cast<AXUIElementRef>(CFObject::ref()); }
};

struct Fixture : testing::Test {
  LiveObjects live;
  FakeElement* element = new FakeElement();

  void TearDown() override {
    element->release();
    EXPECT_TRUE(live.balanced());
  }
  void answer(const std::string& name, CFTypeRef owned_value, ::AXError status = kAXErrorSuccess) {
    element->answers[name] = FakeElement::Answer{status, CFRef<CFTypeRef>::adopt(owned_value)};
  }
  CFArrayRef array_of(std::vector<FakeElement*> items) {
    std::vector<const void*> refs;
    for (FakeElement* item : items) refs.push_back(item->ref());
    CFArrayRef array = CFArrayCreate(kCFAllocatorDefault, refs.data(),
                                     static_cast<CFIndex>(refs.size()), &kCFTypeArrayCallBacks);
    for (FakeElement* item : items) item->release();  // the array holds them now
    return array;
  }
};

using Primitives = Fixture;

TEST_F(Primitives, GetAttributeHandsOverOneReferenceAndReleasesTheName) {
  answer("AXTitle", platform::make_string("Save"));
  std::uint64_t made_before = live.created_since();
  {
    auto value = get_attribute(element->ref(), "AXTitle");
    ASSERT_TRUE(value.ok());
    ASSERT_TRUE(value->get() != nullptr);
    EXPECT_EQ(CFGetRetainCount(value->get()), 2);  // ours and the element's
  }
  EXPECT_EQ(live.created_since() - made_before, 1u) << "one name string per call";
}

TEST_F(Primitives, ChildrenAreRetainedInArrayOrder) {
  auto* a = new FakeElement();
  auto* b = new FakeElement();
  auto* c = new FakeElement();
  answer("AXChildren", array_of({a, b, c}));
  {
    auto children = get_children(element->ref());
    ASSERT_TRUE(children.ok());
    ASSERT_EQ(children->size(), 3u);
    EXPECT_EQ((*children)[0].get(), a->ref());
    EXPECT_EQ((*children)[2].get(), c->ref());
    EXPECT_EQ(CFGetRetainCount(b->ref()), 2);  // the array's and ours
  }
  EXPECT_EQ(CFGetRetainCount(b->ref()), 1);
}

TEST_F(Primitives, WritesLeaveTheValueWithTheCaller) {
  answer("AXFocused", nullptr, kAXErrorSuccess);
  CFIndex before = CFGetRetainCount(kCFBooleanTrue);
  EXPECT_TRUE(set_attribute_value(element->ref(), "AXFocused", kCFBooleanTrue).ok());
  EXPECT_EQ(element->written, kCFBooleanTrue);
  EXPECT_EQ(CFGetRetainCount(kCFBooleanTrue), before);
  answer("AXValue", nullptr, kAXErrorCannotComplete);
  auto failed = set_attribute_value(element->ref(), "AXValue", kCFBooleanTrue);
  ASSERT_FALSE(failed.ok());
  EXPECT_EQ(failed.error().message(), "Action failed: Cannot complete: AXValue");
}

TEST_F(Primitives, ArrayConversionRetainsEntriesWithoutConsumingTheArray) {
  EXPECT_EQ(cf_array_to_vec(nullptr), std::nullopt);
  auto* a = new FakeElement();
  auto array = CFRef<CFArrayRef>::adopt(array_of({a}));
  {
    auto handles = cf_array_to_vec(array.get());
    ASSERT_TRUE(handles.has_value());
    ASSERT_EQ(handles->size(), 1u);
    EXPECT_EQ(CFGetRetainCount(a->ref()), 2);
    EXPECT_EQ(CFGetRetainCount(array.get()), 1);
  }
  auto empty = CFRef<CFArrayRef>::adopt(array_of({}));
  auto none = cf_array_to_vec(empty.get());
  ASSERT_TRUE(none.has_value()) << "an empty array is present";
  EXPECT_TRUE(none->empty());
}

class TrustingBackend final : public platform::Backend {
 public:
  bool trusted = true;
  bool process_trusted() override { return trusted; }
  AXUIElementRef create_application(pid_t) override { return nullptr; }
  bool allow_event_source(CGEventSourceStateID) override { return false; }
  bool allow_keyboard_event(CGKeyCode, bool) override { return false; }
  void post_keyboard_event(pid_t, const platform::KeyEvent&) override {}
};

TEST(Trust, FollowsTheActiveBackend) {
  TrustingBackend backend;
  platform::select_backend(&backend);
  EXPECT_TRUE(is_process_trusted());
  backend.trusted = false;
  EXPECT_FALSE(is_process_trusted());
  backend.trusted = true;
  platform::select_backend(nullptr);
  // Back to the real desktop, which answers for itself (trusted inside a desktop session).
  EXPECT_EQ(is_process_trusted(), platform::default_backend().process_trusted());
}

}  // namespace
}  // namespace pelorix
