// Object references as applications send them: only a well-formed "(so)" with a bus name that
// libdbus accepts becomes a reference; anything else is no reference, never a crash.
#include <gtest/gtest.h>

#include <functional>
#include <optional>

#include "platform/atspi/bus.h"

namespace pelorix::platform::atspi {
namespace {

// The first argument of a message built by `build`, read back as a reference.
std::optional<Reference> read_back(const std::function<void(DBusMessageIter*)>& build) {
  Message message(dbus_message_new(DBUS_MESSAGE_TYPE_METHOD_RETURN));
  DBusMessageIter append;
  dbus_message_iter_init_append(message.get(), &append);
  build(&append);
  DBusMessageIter read;
  if (dbus_message_iter_init(message.get(), &read) == 0) return std::nullopt;
  return read_reference(&read);
}

// A struct of the given basic fields, each a (type, text) pair.
std::function<void(DBusMessageIter*)> fields(std::vector<std::pair<int, const char*>> values) {
  return [values](DBusMessageIter* args) {
    DBusMessageIter entry;
    dbus_message_iter_open_container(args, DBUS_TYPE_STRUCT, nullptr, &entry);
    for (const auto& [type, text] : values) {
      if (type == DBUS_TYPE_INT32) {
        dbus_int32_t number = 7;
        dbus_message_iter_append_basic(&entry, type, &number);
      } else {
        dbus_message_iter_append_basic(&entry, type, &text);
      }
    }
    dbus_message_iter_close_container(args, &entry);
  };
}

TEST(AtspiReferences, WellFormedReferencesAreRead) {
  auto unique = read_back(fields(
      {{DBUS_TYPE_STRING, ":1.42"}, {DBUS_TYPE_OBJECT_PATH, "/org/a11y/atspi/accessible/7"}}));
  ASSERT_TRUE(unique.has_value());
  EXPECT_EQ(*unique, (Reference{":1.42", "/org/a11y/atspi/accessible/7"}));
  auto known =
      read_back(fields({{DBUS_TYPE_STRING, kRegistryName}, {DBUS_TYPE_OBJECT_PATH, kRootPath}}));
  ASSERT_TRUE(known.has_value());
  EXPECT_EQ(known->bus_name, kRegistryName);
}

TEST(AtspiReferences, OtherShapesAreNoReference) {
  // The path sent as a plain string, a third field, the fields the wrong way round, a number.
  EXPECT_FALSE(read_back(fields({{DBUS_TYPE_STRING, ":1.1"}, {DBUS_TYPE_STRING, "/a"}})));
  EXPECT_FALSE(read_back(fields(
      {{DBUS_TYPE_STRING, ":1.1"}, {DBUS_TYPE_OBJECT_PATH, "/a"}, {DBUS_TYPE_STRING, "x"}})));
  EXPECT_FALSE(read_back(fields({{DBUS_TYPE_OBJECT_PATH, "/a"}, {DBUS_TYPE_STRING, ":1.1"}})));
  EXPECT_FALSE(read_back(fields({{DBUS_TYPE_STRING, ":1.1"}})));
  EXPECT_FALSE(read_back(fields({{DBUS_TYPE_INT32, nullptr}})));
  EXPECT_FALSE(read_back([](DBusMessageIter* args) {
    const char* text = ":1.1";
    dbus_message_iter_append_basic(args, DBUS_TYPE_STRING, &text);
  }));
  EXPECT_FALSE(read_back([](DBusMessageIter*) {}));
}

TEST(AtspiReferences, BusNamesLibdbusRefusesAreNoReference) {
  // libdbus aborts the process when asked to address such a name.
  for (const char* name : {"", "nodots", "1.starts.with.digit", "a..b", "with space.x"})
    EXPECT_FALSE(read_back(fields({{DBUS_TYPE_STRING, name}, {DBUS_TYPE_OBJECT_PATH, "/a"}})))
        << name;
}

}  // namespace
}  // namespace pelorix::platform::atspi
