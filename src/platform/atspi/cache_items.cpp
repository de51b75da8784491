#include "platform/atspi/cache_items.h"

#include <dbus/dbus.h>

#include <cstring>
#include <limits>

namespace pelorix::platform::atspi {
namespace {

constexpr std::string_view kComponentInterface = "org.a11y.atspi.Component";

// The (so) reference at the iterator: the object path only (the bus name is the replying
// application's, whatever it says).
bool read_path(DBusMessageIter* at, std::string* path) {
  if (dbus_message_iter_get_arg_type(at) != DBUS_TYPE_STRUCT) return false;
  DBusMessageIter field;
  dbus_message_iter_recurse(at, &field);
  if (dbus_message_iter_get_arg_type(&field) != DBUS_TYPE_STRING) return false;
  dbus_message_iter_next(&field);
  if (dbus_message_iter_get_arg_type(&field) != DBUS_TYPE_OBJECT_PATH) return false;
  const char* text = nullptr;
  dbus_message_iter_get_basic(&field, &text);
  *path = text != nullptr ? text : "";
  dbus_message_iter_next(at);
  return true;
}

template <class T>
bool read_basic(DBusMessageIter* at, int type, T* out) {
  if (dbus_message_iter_get_arg_type(at) != type) return false;
  dbus_message_iter_get_basic(at, out);
  dbus_message_iter_next(at);
  return true;
}

bool read_string(DBusMessageIter* at, std::string* out) {
  const char* text = nullptr;
  if (!read_basic(at, DBUS_TYPE_STRING, &text)) return false;
  *out = text != nullptr ? text : "";
  return true;
}

bool read_item(DBusMessageIter* at, CacheItem* item) {
  if (dbus_message_iter_get_arg_type(at) != DBUS_TYPE_STRUCT) return false;
  DBusMessageIter field;
  dbus_message_iter_recurse(at, &field);
  std::string application;
  dbus_int32_t index = 0;
  dbus_int32_t count = 0;
  if (!read_path(&field, &item->path) || !read_path(&field, &application) ||
      !read_path(&field, &item->parent_path) || !read_basic(&field, DBUS_TYPE_INT32, &index) ||
      !read_basic(&field, DBUS_TYPE_INT32, &count))
    return false;
  item->index_in_parent = index;
  item->child_count = count;
  if (dbus_message_iter_get_arg_type(&field) != DBUS_TYPE_ARRAY) return false;
  DBusMessageIter names;
  dbus_message_iter_recurse(&field, &names);
  while (dbus_message_iter_get_arg_type(&names) == DBUS_TYPE_STRING) {
    const char* name = nullptr;
    dbus_message_iter_get_basic(&names, &name);
    if (name != nullptr && name == kComponentInterface) item->has_component = true;
    dbus_message_iter_next(&names);
  }
  dbus_message_iter_next(&field);
  dbus_uint32_t role = 0;
  std::string description;
  if (!read_string(&field, &item->name) || !read_basic(&field, DBUS_TYPE_UINT32, &role) ||
      !read_string(&field, &description))
    return false;
  item->role = role;
  if (dbus_message_iter_get_arg_type(&field) != DBUS_TYPE_ARRAY) return false;
  DBusMessageIter words;
  dbus_message_iter_recurse(&field, &words);
  while (dbus_message_iter_get_arg_type(&words) == DBUS_TYPE_UINT32) {
    dbus_uint32_t bits = 0;
    dbus_message_iter_get_basic(&words, &bits);
    if (item->states.size() < kMaxStateWords) item->states.push_back(bits);
    dbus_message_iter_next(&words);
  }
  return true;
}

}  // namespace

std::optional<std::vector<CacheItem>> parse_cache_items(DBusMessage* reply, std::size_t max_items) {
  if (reply == nullptr || dbus_message_get_type(reply) != DBUS_MESSAGE_TYPE_METHOD_RETURN)
    return std::nullopt;
  // The whole signature is checked once; the reads below then only meet the types it names.
  const char* signature = dbus_message_get_signature(reply);
  if (signature == nullptr || std::strcmp(signature, kCacheItemsSignature) != 0)
    return std::nullopt;
  DBusMessageIter args;
  if (dbus_message_iter_init(reply, &args) == 0) return std::nullopt;
  DBusMessageIter items;
  dbus_message_iter_recurse(&args, &items);
  std::vector<CacheItem> out;
  while (dbus_message_iter_get_arg_type(&items) == DBUS_TYPE_STRUCT) {
    if (out.size() == max_items) return std::nullopt;
    CacheItem item;
    if (!read_item(&items, &item)) return std::nullopt;
    out.push_back(std::move(item));
    dbus_message_iter_next(&items);
  }
  return out;
}

std::optional<std::vector<CacheItem>> parse_cache_message(const std::uint8_t* data,
                                                          std::size_t size, std::size_t max_items) {
  // libdbus validates the whole message (header, signature, body) before handing it out.
  if (data == nullptr || size == 0 ||
      size > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    return std::nullopt;
  DBusError error;
  dbus_error_init(&error);
  DBusMessage* message =
      dbus_message_demarshal(reinterpret_cast<const char*>(data), static_cast<int>(size), &error);
  dbus_error_free(&error);
  if (message == nullptr) return std::nullopt;
  auto items = parse_cache_items(message, max_items);
  dbus_message_unref(message);
  return items;
}

}  // namespace pelorix::platform::atspi
