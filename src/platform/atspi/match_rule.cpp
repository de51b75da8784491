#include "platform/atspi/match_rule.h"

namespace pelorix::platform::atspi {

void append_matches_arguments(DBusMessageIter* args, std::initializer_list<AtspiStateType> states,
                              AtspiCollectionMatchType match, dbus_int32_t most, bool traverse) {
  DBusMessageIter rule;
  DBusMessageIter inner;
  const dbus_int32_t state_match = match;
  const dbus_int32_t all = ATSPI_Collection_MATCH_ALL;
  const dbus_int32_t zero = 0;
  const dbus_bool_t no = FALSE;
  const dbus_bool_t descend = traverse ? TRUE : FALSE;
  dbus_message_iter_open_container(args, DBUS_TYPE_STRUCT, nullptr, &rule);
  // The states are a bit set in two 32-bit words.
  dbus_uint32_t words[2] = {0, 0};
  for (AtspiStateType state : states) {
    auto bit = static_cast<unsigned>(state);
    if (bit < 64) words[bit / 32] |= 1U << (bit % 32);
  }
  dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "i", &inner);
  for (dbus_uint32_t word : words) {
    auto bits = static_cast<dbus_int32_t>(word);
    dbus_message_iter_append_basic(&inner, DBUS_TYPE_INT32, &bits);
  }
  dbus_message_iter_close_container(&rule, &inner);
  dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &state_match);
  dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "{ss}", &inner);
  dbus_message_iter_close_container(&rule, &inner);
  dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &all);
  dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "i", &inner);
  for (int i = 0; i < 4; ++i) dbus_message_iter_append_basic(&inner, DBUS_TYPE_INT32, &zero);
  dbus_message_iter_close_container(&rule, &inner);
  dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &all);
  dbus_message_iter_open_container(&rule, DBUS_TYPE_ARRAY, "s", &inner);
  dbus_message_iter_close_container(&rule, &inner);
  dbus_message_iter_append_basic(&rule, DBUS_TYPE_INT32, &all);
  dbus_message_iter_append_basic(&rule, DBUS_TYPE_BOOLEAN, &no);  // not inverted
  dbus_message_iter_close_container(args, &rule);
  const dbus_uint32_t order = ATSPI_Collection_SORT_ORDER_CANONICAL;
  dbus_message_iter_append_basic(args, DBUS_TYPE_UINT32, &order);
  dbus_message_iter_append_basic(args, DBUS_TYPE_INT32, &most);
  dbus_message_iter_append_basic(args, DBUS_TYPE_BOOLEAN, &descend);
}

}  // namespace pelorix::platform::atspi
