/* Counts the D-Bus method calls a process sends, for the desktop benchmark.
 *
 * Preloaded (LD_PRELOAD) into every contender, it wraps libdbus's three ways of sending a
 * message and counts those that are method calls to someone other than the bus daemon itself:
 * each is one request the application must answer on its main loop. The contender reads the
 * count before and after the timed work through bench_bus_calls(); bench_bus_calls_dump()
 * prints the counts per interface member to standard error.
 */
#define _GNU_SOURCE
#include <dbus/dbus.h>
#include <dlfcn.h>
#include <stdio.h>
#include <string.h>

static unsigned long total;
static struct {
  char name[64];
  unsigned long count;
} members[64];

static void note(DBusMessage* message) {
  if (dbus_message_get_type(message) != DBUS_MESSAGE_TYPE_METHOD_CALL) return;
  const char* destination = dbus_message_get_destination(message);
  if (destination != NULL && strcmp(destination, "org.freedesktop.DBus") == 0) return;
  __atomic_add_fetch(&total, 1, __ATOMIC_RELAXED);
  char name[64];
  const char* member = dbus_message_get_member(message);
  const char* interface = dbus_message_get_interface(message);
  if (member != NULL && strcmp(member, "Get") == 0 && interface != NULL &&
      strcmp(interface, DBUS_INTERFACE_PROPERTIES) == 0) {
    /* Name the property read. */
    DBusMessageIter args;
    const char* property = "?";
    if (dbus_message_iter_init(message, &args) && dbus_message_iter_next(&args) &&
        dbus_message_iter_get_arg_type(&args) == DBUS_TYPE_STRING)
      dbus_message_iter_get_basic(&args, &property);
    snprintf(name, sizeof name, "Get(%s)", property);
  } else {
    snprintf(name, sizeof name, "%s", member != NULL ? member : "?");
  }
  for (int i = 0; i < 64; ++i) {
    if (members[i].name[0] == '\0') snprintf(members[i].name, sizeof members[i].name, "%s", name);
    if (strcmp(members[i].name, name) == 0) {
      ++members[i].count;
      return;
    }
  }
}

unsigned long bench_bus_calls(void) {
  return __atomic_load_n(&total, __ATOMIC_RELAXED);
}

void bench_bus_calls_reset(void) {
  total = 0;
  memset(members, 0, sizeof members);
}

void bench_bus_calls_dump(void) {
  for (int i = 0; i < 64 && members[i].name[0] != '\0'; ++i)
    fprintf(stderr, "  %-28s %lu\n", members[i].name, members[i].count);
}

DBusMessage* dbus_connection_send_with_reply_and_block(DBusConnection* connection,
                                                       DBusMessage* message, int timeout,
                                                       DBusError* error) {
  static DBusMessage* (*real)(DBusConnection*, DBusMessage*, int, DBusError*);
  if (real == NULL) real = dlsym(RTLD_NEXT, "dbus_connection_send_with_reply_and_block");
  note(message);
  return real(connection, message, timeout, error);
}

dbus_bool_t dbus_connection_send_with_reply(DBusConnection* connection, DBusMessage* message,
                                            DBusPendingCall** pending, int timeout) {
  static dbus_bool_t (*real)(DBusConnection*, DBusMessage*, DBusPendingCall**, int);
  if (real == NULL) real = dlsym(RTLD_NEXT, "dbus_connection_send_with_reply");
  note(message);
  return real(connection, message, pending, timeout);
}

dbus_bool_t dbus_connection_send(DBusConnection* connection, DBusMessage* message,
                                 dbus_uint32_t* serial) {
  static dbus_bool_t (*real)(DBusConnection*, DBusMessage*, dbus_uint32_t*);
  if (real == NULL) real = dlsym(RTLD_NEXT, "dbus_connection_send");
  note(message);
  return real(connection, message, serial);
}
