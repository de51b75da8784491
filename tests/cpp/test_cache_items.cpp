// The Cache.GetItems reply parser: what another process sends is taken only in the exact shape
// the bridge documents, and bounded.
#include <dbus/dbus.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/atspi/cache_items.h"

namespace pelorix::platform::atspi {
namespace {

struct FakeItem {
  std::string path;
  std::string parent;
  dbus_int32_t index;
  dbus_int32_t count;
  std::vector<std::string> interfaces;
  std::string name;
  dbus_uint32_t role;
  std::vector<dbus_uint32_t> states;
};

class Message {
 public:
  explicit Message(int type = DBUS_MESSAGE_TYPE_METHOD_RETURN) : message_(dbus_message_new(type)) {
    // What the wire form needs of a reply.
    dbus_message_set_serial(message_, 8);
    if (type != DBUS_MESSAGE_TYPE_METHOD_CALL) dbus_message_set_reply_serial(message_, 7);
  }
  ~Message() { dbus_message_unref(message_); }
  Message(const Message&) = delete;
  Message& operator=(const Message&) = delete;
  DBusMessage* get() const { return message_; }
  std::vector<std::uint8_t> bytes() const {
    char* data = nullptr;
    int size = 0;
    dbus_message_marshal(message_, &data, &size);
    std::vector<std::uint8_t> out(data, data + size);
    dbus_free(data);
    return out;
  }

 private:
  DBusMessage* message_;
};

void append_reference(DBusMessageIter* at, const std::string& path) {
  DBusMessageIter reference;
  const char* bus = ":1.7";
  const char* object = path.c_str();
  dbus_message_iter_open_container(at, DBUS_TYPE_STRUCT, nullptr, &reference);
  dbus_message_iter_append_basic(&reference, DBUS_TYPE_STRING, &bus);
  dbus_message_iter_append_basic(&reference, DBUS_TYPE_OBJECT_PATH, &object);
  dbus_message_iter_close_container(at, &reference);
}

void append_items(DBusMessage* message, const std::vector<FakeItem>& fakes) {
  DBusMessageIter args;
  DBusMessageIter items;
  dbus_message_iter_init_append(message, &args);
  dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "((so)(so)(so)iiassusau)", &items);
  for (const FakeItem& fake : fakes) {
    DBusMessageIter item;
    DBusMessageIter list;
    dbus_message_iter_open_container(&items, DBUS_TYPE_STRUCT, nullptr, &item);
    append_reference(&item, fake.path);
    append_reference(&item, "/org/a11y/atspi/accessible/root");
    append_reference(&item, fake.parent);
    dbus_message_iter_append_basic(&item, DBUS_TYPE_INT32, &fake.index);
    dbus_message_iter_append_basic(&item, DBUS_TYPE_INT32, &fake.count);
    dbus_message_iter_open_container(&item, DBUS_TYPE_ARRAY, "s", &list);
    for (const std::string& name : fake.interfaces) {
      const char* text = name.c_str();
      dbus_message_iter_append_basic(&list, DBUS_TYPE_STRING, &text);
    }
    dbus_message_iter_close_container(&item, &list);
    const char* name = fake.name.c_str();
    const char* description = "ignored";
    dbus_message_iter_append_basic(&item, DBUS_TYPE_STRING, &name);
    dbus_message_iter_append_basic(&item, DBUS_TYPE_UINT32, &fake.role);
    dbus_message_iter_append_basic(&item, DBUS_TYPE_STRING, &description);
    dbus_message_iter_open_container(&item, DBUS_TYPE_ARRAY, "u", &list);
    for (dbus_uint32_t word : fake.states)
      dbus_message_iter_append_basic(&list, DBUS_TYPE_UINT32, &word);
    dbus_message_iter_close_container(&item, &list);
    dbus_message_iter_close_container(&items, &item);
  }
  dbus_message_iter_close_container(&args, &items);
}

const FakeItem kButton{"/org/a11y/atspi/accessible/12",
                       "/org/a11y/atspi/accessible/9",
                       3,
                       0,
                       {"org.a11y.atspi.Accessible", "org.a11y.atspi.Component"},
                       "Target ✓",
                       43,
                       {(1U << 8) | (1U << 30), 1U << 1}};
const FakeItem kBox{"/org/a11y/atspi/accessible/9",
                    "/org/a11y/atspi/accessible/root",
                    -1,
                    -1,
                    {"org.a11y.atspi.Accessible"},
                    "",
                    39,
                    {}};

TEST(CacheItems, ReadsEveryFieldInOrder) {
  Message reply;
  append_items(reply.get(), {kButton, kBox});
  auto items = parse_cache_items(reply.get());
  ASSERT_TRUE(items);
  ASSERT_EQ(items->size(), 2U);
  const CacheItem& button = (*items)[0];
  EXPECT_EQ(button.path, kButton.path);
  EXPECT_EQ(button.parent_path, kButton.parent);
  EXPECT_EQ(button.index_in_parent, 3);
  EXPECT_EQ(button.child_count, 0);
  EXPECT_TRUE(button.has_component);
  EXPECT_EQ(button.name, "Target ✓");
  EXPECT_EQ(button.role, 43U);
  EXPECT_TRUE(button.has_state(8));
  EXPECT_TRUE(button.has_state(30));
  EXPECT_TRUE(button.has_state(33));
  EXPECT_FALSE(button.has_state(9));
  EXPECT_FALSE(button.has_state(200));
  const CacheItem& box = (*items)[1];
  EXPECT_EQ(box.index_in_parent, -1);
  EXPECT_EQ(box.child_count, -1);
  EXPECT_FALSE(box.has_component);
  EXPECT_FALSE(box.has_state(0));
}

TEST(CacheItems, TheWireFormReadsAsTheMessage) {
  Message reply;
  append_items(reply.get(), {kButton, kBox});
  std::vector<std::uint8_t> bytes = reply.bytes();
  auto items = parse_cache_message(bytes.data(), bytes.size());
  ASSERT_TRUE(items);
  EXPECT_EQ(items->size(), 2U);
  // Any cut of the message is no message.
  for (std::size_t cut : {std::size_t{1}, std::size_t{16}, bytes.size() / 2, bytes.size() - 1})
    EXPECT_FALSE(parse_cache_message(bytes.data(), cut)) << cut;
  EXPECT_FALSE(parse_cache_message(nullptr, 0));
}

TEST(CacheItems, StateWordsBeyondTheBoundAreDropped) {
  FakeItem many = kButton;
  many.states.assign(1000, 0xFFFFFFFFU);
  Message reply;
  append_items(reply.get(), {many});
  auto items = parse_cache_items(reply.get());
  ASSERT_TRUE(items);
  EXPECT_EQ((*items)[0].states.size(), kMaxStateWords);
}

TEST(CacheItems, MoreItemsThanTheBoundRefuseTheWholeReply) {
  Message reply;
  append_items(reply.get(), {kButton, kBox, kButton});
  EXPECT_FALSE(parse_cache_items(reply.get(), 2));
  EXPECT_TRUE(parse_cache_items(reply.get(), 3));
  Message empty;
  append_items(empty.get(), {});
  auto none = parse_cache_items(empty.get(), 0);
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());
}

// Replies of another shape: an error, a call instead of a return, the older bridge's layout
// with a children list, a missing field, a trailing argument.
TEST(CacheItems, AnythingButTheDocumentedShapeIsRefused) {
  EXPECT_FALSE(parse_cache_items(nullptr));
  Message error(DBUS_MESSAGE_TYPE_ERROR);
  dbus_message_set_error_name(error.get(), "org.freedesktop.DBus.Error.UnknownMethod");
  EXPECT_FALSE(parse_cache_items(error.get()));
  Message call(DBUS_MESSAGE_TYPE_METHOD_CALL);
  append_items(call.get(), {kButton});
  EXPECT_FALSE(parse_cache_items(call.get()));
  for (const char* signature : {"((so)(so)(so)a(so)assusau)", "((so)(so)(so)iiassus)", "s"}) {
    Message other;
    DBusMessageIter args;
    DBusMessageIter list;
    dbus_message_iter_init_append(other.get(), &args);
    if (signature[0] == 's') {
      const char* text = "x";
      dbus_message_iter_append_basic(&args, DBUS_TYPE_STRING, &text);
    } else {
      dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, signature, &list);
      dbus_message_iter_close_container(&args, &list);
    }
    EXPECT_FALSE(parse_cache_items(other.get())) << signature;
  }
  Message trailing;
  append_items(trailing.get(), {kButton});
  dbus_uint32_t extra = 1;
  dbus_message_append_args(trailing.get(), DBUS_TYPE_UINT32, &extra, DBUS_TYPE_INVALID);
  EXPECT_FALSE(parse_cache_items(trailing.get()));
}

}  // namespace
}  // namespace pelorix::platform::atspi
