#include "platform/atspi/children.h"

#include <set>
#include <string>

#include "platform/atspi/reads.h"

namespace pelorix::platform::atspi {

namespace {

// Applications whose bridge has no Collection interface (GTK 4, Qt), by bus name: they are
// asked for their children one index at a time.
std::set<std::string>& without_collection() {
  static auto* names = new std::set<std::string>();
  return *names;
}

std::string bus_name_of(AtspiAccessible* accessible) {
  const AtspiObject& object = accessible->parent;
  return object.app != nullptr && object.app->bus_name != nullptr ? object.app->bus_name : "";
}

}  // namespace

::AXError read_children(AtspiAccessible* accessible, std::vector<Owned<AtspiAccessible>>* out) {
  std::string bus = bus_name_of(accessible);
  bool unsupported = false;
  if (!without_collection().contains(bus)) {
    Owned<AtspiMatchRule> everything(atspi_match_rule_new(
        nullptr, ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, nullptr,
        ATSPI_Collection_MATCH_ALL, nullptr, ATSPI_Collection_MATCH_ALL, FALSE));
    ErrorSlot error;
    GArray* matches =
        atspi_collection_get_matches(ATSPI_COLLECTION(accessible), everything.get(),
                                     ATSPI_Collection_SORT_ORDER_CANONICAL, 0, FALSE, error.out());
    if (!error && matches != nullptr) {
      for (guint i = 0; i < matches->len; ++i) {
        AtspiAccessible* child = g_array_index(matches, AtspiAccessible*, i);
        if (child != nullptr) out->emplace_back(child);
      }
      g_array_free(matches, TRUE);
      return kAXErrorSuccess;
    }
    if (matches != nullptr) {
      for (guint i = 0; i < matches->len; ++i)
        if (auto* child = g_array_index(matches, AtspiAccessible*, i)) g_object_unref(child);
      g_array_free(matches, TRUE);
    }
    // A timeout or a vanished element is the answer; asking again would only wait again.
    ::AXError status = status_of(error.error);
    if (status == kAXErrorCannotComplete || status == kAXErrorInvalidUIElement) return status;
    // Otherwise the bridge most likely has no Collection (GTK 4 says so, Qt answers that the
    // object path is unknown): if the element answers for its child count, ask this
    // application one index at a time from now on.
    unsupported = true;
  }
  ErrorSlot error;
  gint count = atspi_accessible_get_child_count(accessible, error.out());
  if (error) return status_of(error.error);
  if (count < 0) return kAXErrorCannotComplete;
  if (unsupported) without_collection().insert(bus);
  for (gint i = 0; i < count; ++i) {
    AtspiAccessible* child = atspi_accessible_get_child_at_index(accessible, i, error.out());
    if (error) return status_of(error.error);
    if (child != nullptr) out->emplace_back(child);
  }
  return kAXErrorSuccess;
}

}  // namespace pelorix::platform::atspi
