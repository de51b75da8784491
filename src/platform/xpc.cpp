#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "platform/xpc_fake.h"

namespace pelorix::platform {
namespace {

std::atomic<long> live_objects{0};

struct XpcObject {
  enum class Type { String, Bool, Dictionary, Connection, Error };
  explicit XpcObject(Type t) : type(t) { live_objects.fetch_add(1); }
  virtual ~XpcObject() { live_objects.fetch_sub(1); }
  Type type;
  std::atomic<long> refs{1};
};

struct XpcString final : XpcObject {
  explicit XpcString(std::string v) : XpcObject(Type::String), value(std::move(v)) {}
  std::string value;
};

struct XpcBool final : XpcObject {
  explicit XpcBool(bool v) : XpcObject(Type::Bool), value(v) {}
  bool value;
};

struct XpcDictionary final : XpcObject {
  XpcDictionary() : XpcObject(Type::Dictionary) {}
  ~XpcDictionary() override {
    for (auto& entry : entries) xpc_release(entry.second);
  }
  std::map<std::string, xpc_object_t> entries;
};

struct XpcConnection final : XpcObject {
  explicit XpcConnection(XpcHandler h) : XpcObject(Type::Connection), handler(std::move(h)) {}
  XpcHandler handler;
  bool cancelled = false;
};

XpcObject* as_object(xpc_object_t object) {
  return static_cast<XpcObject*>(object);
}

template <class T>
T* as(xpc_object_t object, XpcObject::Type type) {
  auto* base = as_object(object);
  return base != nullptr && base->type == type ? static_cast<T*>(base) : nullptr;
}

XpcDictionary* as_dictionary(xpc_object_t object) {
  return as<XpcDictionary>(object, XpcObject::Type::Dictionary);
}

}  // namespace

xpc_connection_t make_fake_connection(XpcHandler handler) {
  return reinterpret_cast<xpc_connection_t>(
      static_cast<XpcObject*>(new XpcConnection(std::move(handler))));
}

bool fake_connection_cancelled(xpc_connection_t connection) {
  auto* object = as<XpcConnection>(connection, XpcObject::Type::Connection);
  return object != nullptr && object->cancelled;
}

long xpc_live_objects() {
  return live_objects.load();
}

}  // namespace pelorix::platform

using namespace pelorix::platform;

extern "C" {

xpc_object_t xpc_retain(xpc_object_t object) {
  if (object != nullptr) as_object(object)->refs.fetch_add(1);
  return object;
}

void xpc_release(xpc_object_t object) {
  if (object == nullptr) {
    std::fprintf(stderr, "pelorix platform: xpc_release(NULL)\n");
    std::abort();
  }
  if (as_object(object)->refs.fetch_sub(1) == 1) delete as_object(object);
}

xpc_object_t xpc_string_create(const char* string) {
  return static_cast<XpcObject*>(new XpcString(string != nullptr ? string : ""));
}

const char* xpc_string_get_string_ptr(xpc_object_t xstring) {
  auto* object = as<XpcString>(xstring, XpcObject::Type::String);
  return object != nullptr ? object->value.c_str() : nullptr;
}

xpc_object_t xpc_bool_create(bool value) {
  return static_cast<XpcObject*>(new XpcBool(value));
}

bool xpc_bool_get_value(xpc_object_t xbool) {
  auto* object = as<XpcBool>(xbool, XpcObject::Type::Bool);
  return object != nullptr && object->value;
}

xpc_object_t xpc_dictionary_create(const char* const* keys, const xpc_object_t* values,
                                   size_t count) {
  auto* dictionary = new XpcDictionary();
  for (size_t i = 0; i < count; ++i) xpc_dictionary_set_value(dictionary, keys[i], values[i]);
  return static_cast<XpcObject*>(dictionary);
}

xpc_object_t xpc_dictionary_get_value(xpc_object_t xdict, const char* key) {
  auto* dictionary = as_dictionary(xdict);
  if (dictionary == nullptr || key == nullptr) return nullptr;
  auto found = dictionary->entries.find(key);
  return found == dictionary->entries.end() ? nullptr : found->second;
}

void xpc_dictionary_set_value(xpc_object_t xdict, const char* key, xpc_object_t value) {
  auto* dictionary = as_dictionary(xdict);
  if (dictionary == nullptr || key == nullptr) return;
  // Retain the new value before letting go of the old one: they may be the same object.
  if (value != nullptr) xpc_retain(value);
  auto found = dictionary->entries.find(key);
  if (found != dictionary->entries.end()) {
    xpc_release(found->second);
    dictionary->entries.erase(found);
  }
  if (value != nullptr) dictionary->entries.emplace(key, value);
}

bool xpc_dictionary_get_bool(xpc_object_t xdict, const char* key) {
  return xpc_bool_get_value(xpc_dictionary_get_value(xdict, key));
}

void xpc_dictionary_set_bool(xpc_object_t xdict, const char* key, bool value) {
  xpc_object_t boolean = xpc_bool_create(value);
  xpc_dictionary_set_value(xdict, key, boolean);
  xpc_release(boolean);
}

const char* xpc_dictionary_get_string(xpc_object_t xdict, const char* key) {
  return xpc_string_get_string_ptr(xpc_dictionary_get_value(xdict, key));
}

xpc_object_t xpc_connection_send_message_with_reply_sync(xpc_connection_t connection,
                                                         xpc_object_t message) {
  auto* object = as<XpcConnection>(connection, XpcObject::Type::Connection);
  xpc_object_t reply = nullptr;
  if (object != nullptr && !object->cancelled && object->handler) reply = object->handler(message);
  // Like the system, a failed exchange answers with an error object rather than nothing.
  return reply != nullptr ? reply : static_cast<XpcObject*>(new XpcObject(XpcObject::Type::Error));
}

void xpc_connection_cancel(xpc_connection_t connection) {
  auto* object = as<XpcConnection>(connection, XpcObject::Type::Connection);
  if (object != nullptr) object->cancelled = true;
}

}  // extern "C"
