// Collection.GetMatches' arguments, for the two ways pelorix asks it: the children of one element
// that are shown, and everything below an element in the order a walk of the children finds it.
#pragma once

#include <atspi/atspi.h>
#include <dbus/dbus.h>

#include <cstdint>
#include <initializer_list>

namespace pelorix::platform::atspi {

// Appends the rule "(aiia{ss}iaiiasib)" that tests states alone (`match`: all, any or none of
// `states`; no attributes, roles or interfaces), the canonical order (the children's order,
// each element before what lies below it), at most `most` matches (0: all) and whether to look
// below the children.
void append_matches_arguments(DBusMessageIter* args, std::initializer_list<AtspiStateType> states,
                              AtspiCollectionMatchType match, dbus_int32_t most, bool traverse);

}  // namespace pelorix::platform::atspi
