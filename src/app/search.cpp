#include "app/search.h"

#include <deque>

#include "accessibility/primitives.h"
#include "app/tree_walk.h"
#include "platform/call_bounds.h"
#include "platform/clock.h"
#include "platform/read_scope.h"
#include "sync/limit.h"

namespace pelorix {
namespace {

using namespace std::chrono_literals;

constexpr auto kRetryInterval = 50ms;
constexpr std::uint64_t kDefaultTimeoutMs = 100;

bool equal(std::string_view have, std::string_view want) {
  return have == want;
}
bool contains(std::string_view have, std::string_view want) {
  return have.find(want) != std::string_view::npos;
}

bool field_holds(AXUIElementRef element, const std::optional<std::string>& wanted,
                 std::string_view attribute, bool (*test)(std::string_view, std::string_view)) {
  if (!wanted) return true;
  auto value = accessibility::get_attribute(element, attribute);
  if (!value || !value->get() || CFGetTypeID(value->get()) != CFStringGetTypeID()) return false;
  auto text = accessibility::cf_string_to_string(static_cast<CFStringRef>(value->get()));
  return text && test(*text, *wanted);
}

}  // namespace

bool element_matches(AXUIElementRef element, const SearchCriteria& criteria) {
  return field_holds(element, criteria.role, "AXRole", equal) &&
         field_holds(element, criteria.title, "AXTitle", contains) &&
         field_holds(element, criteria.identifier, "AXIdentifier", equal) &&
         field_holds(element, criteria.label, "AXLabel", contains);
}

Result<ElementHandle> breadth_first_search(AXUIElementRef root, const SearchCriteria& criteria) {
  if (element_matches(root, criteria)) return ElementHandle::retain(root);
  TreeWalk walk(root);
  std::deque<ElementHandle> queue;
  auto enqueue_children = [&](AXUIElementRef element) {
    for (ElementHandle& child : walk.children_of(element)) queue.push_back(std::move(child));
  };
  enqueue_children(root);
  while (!queue.empty() && !walk.stopped()) {
    ElementHandle element = std::move(queue.front());
    queue.pop_front();
    if (element_matches(element.get(), criteria)) return element;
    enqueue_children(element.get());
  }
  return AXError(AXErrorKind::ElementNotFound, criteria.debug_form());
}

Result<ElementHandle> search_once(AXUIElementRef root, const SearchCriteria& criteria) {
  // One attempt is one call: its reads may be batched, and nothing outlives the attempt.
  platform::ReadScope scope(root);
  auto found = breadth_first_search(root, criteria);
  if (!found || !scope.batched()) return found;
  scope.close();
  // Batched values were read after the attempt began, not each at the moment of its read:
  // what is handed back must exist and match now, else the attempt searches again live.
  if (element_matches(found->get(), criteria)) return found;
  return breadth_first_search(root, criteria);
}

Result<ElementHandle> retry_until_found(std::optional<std::uint64_t> timeout_ms,
                                        std::string_view query,
                                        const std::function<ElementHandle()>& attempt) {
  platform::Instant start = platform::now();
  const std::uint64_t limit_ms = timeout_ms.value_or(kDefaultTimeoutMs);
  auto limit = sync::Limit::milliseconds(limit_ms);
  // Every attempt, however large or slow the tree, ends within the limit and
  // platform::kRequestMargin; so does the wait between attempts, whose sleep is short.
  platform::CallBounds bounds(limit_ms);
  for (;;) {
    if (ElementHandle found = attempt()) return found;
    if (limit.reached_since(start) || platform::call_stopped())
      return AXError(AXErrorKind::ElementNotFound, std::string(query));
    platform::sleep_for(kRetryInterval);
  }
}

Result<ElementHandle> find_element(AXUIElementRef root, std::string_view query,
                                   std::optional<std::uint64_t> timeout_ms) {
  return retry_until_found(timeout_ms, query, [&]() -> ElementHandle {
    // Parsed afresh on every attempt; an unparsable query is an attempt that found nothing.
    auto criteria = parse_query(query);
    if (!criteria) return {};
    auto found = search_once(root, *criteria);
    return found ? std::move(found).value() : ElementHandle();
  });
}

}  // namespace pelorix
