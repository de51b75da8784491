// The subset of XPC the module uses, with Apple's names and signatures.
#pragma once

#if defined(__APPLE__)
#error "on Apple systems the system declares these: include platform/platform.h"
#endif

#include <cstddef>
#include <cstdint>

extern "C" {

typedef void* xpc_object_t;
typedef struct _xpc_connection_s* xpc_connection_t;

xpc_object_t xpc_retain(xpc_object_t object);
void xpc_release(xpc_object_t object);

xpc_object_t xpc_string_create(const char* string);
const char* xpc_string_get_string_ptr(xpc_object_t xstring);
xpc_object_t xpc_bool_create(bool value);
bool xpc_bool_get_value(xpc_object_t xbool);

xpc_object_t xpc_dictionary_create(const char* const* keys, const xpc_object_t* values,
                                   size_t count);
xpc_object_t xpc_dictionary_get_value(xpc_object_t xdict, const char* key);
void xpc_dictionary_set_value(xpc_object_t xdict, const char* key, xpc_object_t value);
bool xpc_dictionary_get_bool(xpc_object_t xdict, const char* key);
void xpc_dictionary_set_bool(xpc_object_t xdict, const char* key, bool value);
const char* xpc_dictionary_get_string(xpc_object_t xdict, const char* key);

xpc_object_t xpc_connection_send_message_with_reply_sync(xpc_connection_t connection,
                                                         xpc_object_t message);
void xpc_connection_cancel(xpc_connection_t connection);

}  // extern "C"
